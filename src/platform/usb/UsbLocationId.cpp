#include "UsbLocationId.h"

#include <QRegularExpression>

quint32 UsbLocationId::fromPorts(int busNumber, const QList<int>& ports)
{
    quint32 id = quint32(busNumber & 0xFF) << 24;
    int shift = 20;
    for (int port : ports) {
        if (shift < 0)
            break;
        const quint32 nibble = port < 0 ? 0 : (port > 15 ? 0xF : quint32(port));
        id |= nibble << shift;
        shift -= 4;
    }
    return id;
}

quint32 UsbLocationId::fromSysfs(int busNumber, const QString& devpath)
{
    QList<int> ports;
    const QString path = devpath.trimmed();
    if (!path.isEmpty() && path != QLatin1String("0")) {
        for (const QString& piece : path.split(QLatin1Char('.'))) {
            bool ok = false;
            const int port = piece.toInt(&ok);
            if (!ok)
                break;
            ports.append(port);
        }
    }
    return fromPorts(busNumber, ports);
}

quint32 UsbLocationId::fromSyspath(const QString& syspath)
{
    QString name = syspath;
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);

    static const QRegularExpression rootHub(QStringLiteral("^usb(\\d+)$"));
    static const QRegularExpression device(QStringLiteral("^(\\d+)-(\\d+(?:\\.\\d+)*)$"));
    if (const auto m = rootHub.match(name); m.hasMatch())
        return fromPorts(m.captured(1).toInt(), {});
    if (const auto m = device.match(name); m.hasMatch())
        return fromSysfs(m.captured(1).toInt(), m.captured(2));
    return 0;
}

QString UsbLocationId::toText(quint32 locationId)
{
    return QString::asprintf("0x%08X", locationId);
}
