#include "TaskSizeText.h"

QString TaskSizeText::text(qint64 bytes)
{
    const float size = float(bytes);
    const float kb = size / 1024.0f;
    if (kb <= 1.0f)
        return QString::asprintf("%.0f", double(size)) + QStringLiteral(" Byte");
    const float mb = kb / 1024.0f;
    const float gb = mb / 1024.0f;
    if (gb > 1.0f)
        return QString::asprintf("%.1f", double(gb)) + QStringLiteral(" GB");
    if (mb > 1.0f)
        return QString::asprintf("%.1f", double(mb)) + QStringLiteral(" MB");
    return QString::asprintf("%.1f", double(kb)) + QStringLiteral(" KB");
}
