#include "SystemRoots.h"

#include <QFile>

QString SystemRoots::attribute(const QString& dir, const QString& name)
{
    QFile file(dir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Attributes are short; a cap keeps a strange file from being read whole.
    return QString::fromUtf8(file.read(4096)).trimmed();
}

QString SystemRoots::udevProperty(char type, const QString& majorMinor, const QString& key) const
{
    if (majorMinor.isEmpty())
        return {};
    QFile file(udevData + QLatin1Char('/') + QLatin1Char(type) + majorMinor);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray prefix = "E:" + key.toUtf8() + '=';
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(8192);
        if (line.startsWith(prefix))
            return QString::fromUtf8(line.mid(prefix.size())).trimmed();
    }
    return {};
}
