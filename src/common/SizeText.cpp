#include "SizeText.h"

QString SizeText::format(qint64 bytes)
{
    static const char* const units[] = { " KB", " MB", " GB", " TB" };
    double value = double(bytes);
    if (value < 1024.0)
        return QString::asprintf("%.1f", value) + QStringLiteral(" byte");
    int divisions = 0;
    while (value >= 1024.0) {
        value *= 1.0 / 1024.0;
        ++divisions;
    }
    if (divisions > 4)
        return QStringLiteral("Large");
    return QString::asprintf("%.1f", value) + QLatin1String(units[divisions - 1]);
}
