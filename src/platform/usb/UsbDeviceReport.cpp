#include "UsbDeviceReport.h"

#include "BlockVolume.h"
#include "MountTable.h"
#include "UsbLocationId.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamWriter>

#include <algorithm>
#include <functional>

namespace {

const QRegularExpression& rootHubName()
{
    static const QRegularExpression re(QStringLiteral("^usb(\\d+)$"));
    return re;
}

const QRegularExpression& deviceName()
{
    static const QRegularExpression re(QStringLiteral("^(\\d+)-(\\d+(?:\\.\\d+)*)$"));
    return re;
}

// "1-2.3" -> "1-2", "1-2" -> "usb1"; empty for a root hub.
QString parentName(const QString& name)
{
    const auto m = deviceName().match(name);
    if (!m.hasMatch())
        return {};
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : QStringLiteral("usb") + m.captured(1);
}

// Sort key: bus, then the ports in order.
QList<int> orderKey(const QString& name)
{
    if (const auto m = rootHubName().match(name); m.hasMatch())
        return {m.captured(1).toInt()};
    const auto m = deviceName().match(name);
    QList<int> key{m.captured(1).toInt()};
    for (const QString& port : m.captured(2).split(QLatin1Char('.')))
        key.append(port.toInt());
    return key;
}

QString hex4(const QString& sysfsValue)
{
    bool ok = false;
    const uint v = sysfsValue.toUInt(&ok, 16);
    return QString::asprintf("0x%04x", ok ? v : 0u);
}

QVariantMap volumeEntry(const BlockVolume& v)
{
    QVariantMap volume;
    QString name = v.label;
    if (name.isEmpty() && v.isMounted())
        name = QFileInfo(v.mountPoint).fileName();
    volume.insert(QStringLiteral("_name"), name.isEmpty() ? v.name : name);
    volume.insert(QStringLiteral("bsd_name"), v.name);
    volume.insert(QStringLiteral("size_in_bytes"), v.sizeBytes);
    if (!v.fsType.isEmpty())
        volume.insert(QStringLiteral("file_system"), BlockVolume::personality(v.fsType));
    if (v.isMounted())
        volume.insert(QStringLiteral("mount_point"), v.mountPoint);
    return volume;
}

// XML cannot carry most control characters; a device string holding one must not break the document.
QString xmlSafe(QString text)
{
    text.removeIf([](QChar c) {
        return c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r');
    });
    return text;
}

void writeValue(QXmlStreamWriter& w, const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        w.writeStartElement(QStringLiteral("dict"));
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            w.writeTextElement(QStringLiteral("key"), xmlSafe(it.key()));
            writeValue(w, it.value());
        }
        w.writeEndElement();
        break;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        w.writeStartElement(QStringLiteral("array"));
        for (const QVariant& item : value.toList())
            writeValue(w, item);
        w.writeEndElement();
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        w.writeTextElement(QStringLiteral("integer"), value.toString());
        break;
    case QMetaType::Bool:
        w.writeEmptyElement(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    default:
        w.writeTextElement(QStringLiteral("string"), xmlSafe(value.toString()));
        break;
    }
}

} // namespace

UsbDeviceReport::UsbDeviceReport(SystemRoots roots)
    : roots_(std::move(roots))
{
}

QVariantList UsbDeviceReport::items() const
{
    const MountTable mounts = MountTable::read(roots_.mountinfo);
    const QString usbDir = roots_.sysfs + QStringLiteral("/bus/usb/devices");

    // Devices by name, with their sysfs folders.
    QHash<QString, QString> dirs;
    for (const QString& name : QDir(usbDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        if (!rootHubName().match(name).hasMatch() && !deviceName().match(name).hasMatch())
            continue;
        const QString dir = QFileInfo(usbDir + QLatin1Char('/') + name).canonicalFilePath();
        if (!dir.isEmpty())
            dirs.insert(name, dir);
    }

    // Whole disks by the USB device nearest above them.
    QHash<QString, QStringList> disks;
    const QString blockDir = roots_.sysfs + QStringLiteral("/class/block");
    QStringList blockNames = QDir(blockDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    blockNames.sort();
    for (const QString& block : blockNames) {
        const QString dir = QFileInfo(blockDir + QLatin1Char('/') + block).canonicalFilePath();
        if (dir.isEmpty() || QFileInfo::exists(dir + QStringLiteral("/partition")))
            continue;
        const QStringList parts = dir.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (qsizetype i = parts.size() - 1; i >= 0; --i) {
            if (deviceName().match(parts.at(i)).hasMatch()) {
                if (dirs.contains(parts.at(i)))
                    disks[parts.at(i)].append(block);
                break;
            }
        }
    }

    QHash<QString, QStringList> children;
    QStringList roots;
    for (auto it = dirs.cbegin(); it != dirs.cend(); ++it) {
        const QString parent = parentName(it.key());
        if (parent.isEmpty())
            roots.append(it.key());
        else if (dirs.contains(parent))
            children[parent].append(it.key());
        // A device whose parent is missing from sysfs cannot be placed; it is left out.
    }
    auto byOrder = [](const QString& a, const QString& b) { return orderKey(a) < orderKey(b); };
    std::sort(roots.begin(), roots.end(), byOrder);
    for (auto& list : children)
        std::sort(list.begin(), list.end(), byOrder);

    std::function<QVariantMap(const QString&)> entry = [&](const QString& name) {
        const QString dir = dirs.value(name);
        QVariantMap map;
        const QString product = SystemRoots::attribute(dir, QStringLiteral("product"));
        const QString majorMinor = SystemRoots::attribute(dir, QStringLiteral("dev"));

        if (rootHubName().match(name).hasMatch()) {
            const QString controller = QFileInfo(dir).path();
            map.insert(QStringLiteral("_name"), product.isEmpty() ? QStringLiteral("USB Bus ") + name.mid(3) : product);
            const QString driver = QFileInfo(QFileInfo(controller + QStringLiteral("/driver")).symLinkTarget()).fileName();
            map.insert(QStringLiteral("host_controller"), driver.isEmpty() ? QStringLiteral("usb") : driver);
            const QString pciVendor = SystemRoots::attribute(controller, QStringLiteral("vendor"));
            map.insert(QStringLiteral("pci_vendor"),
                       pciVendor.isEmpty() ? hex4(SystemRoots::attribute(dir, QStringLiteral("idVendor"))) : pciVendor);
            const QString pciDevice = SystemRoots::attribute(controller, QStringLiteral("device"));
            if (!pciDevice.isEmpty())
                map.insert(QStringLiteral("pci_device"), pciDevice);
        } else {
            QString deviceTitle = product;
            if (deviceTitle.isEmpty())
                deviceTitle = roots_.udevProperty('c', majorMinor, QStringLiteral("ID_MODEL"));
            map.insert(QStringLiteral("_name"), deviceTitle.isEmpty() ? QStringLiteral("USB Device") : deviceTitle);
            map.insert(QStringLiteral("vendor_id"), hex4(SystemRoots::attribute(dir, QStringLiteral("idVendor"))));
            map.insert(QStringLiteral("product_id"), hex4(SystemRoots::attribute(dir, QStringLiteral("idProduct"))));
            QString manufacturer = SystemRoots::attribute(dir, QStringLiteral("manufacturer"));
            if (manufacturer.isEmpty())
                manufacturer = roots_.udevProperty('c', majorMinor, QStringLiteral("ID_VENDOR"));
            if (!manufacturer.isEmpty())
                map.insert(QStringLiteral("manufacturer"), manufacturer);
            const QString serial = SystemRoots::attribute(dir, QStringLiteral("serial"));
            if (!serial.isEmpty())
                map.insert(QStringLiteral("serial_num"), serial);

            const int bus = SystemRoots::attribute(dir, QStringLiteral("busnum")).toInt();
            const QString devpath = SystemRoots::attribute(dir, QStringLiteral("devpath"));
            const quint32 location = bus > 0 && !devpath.isEmpty() ? UsbLocationId::fromSysfs(bus, devpath)
                                                                    : UsbLocationId::fromSyspath(name);
            map.insert(QStringLiteral("location_id"),
                       UsbLocationId::toText(location) + QStringLiteral(" / ")
                           + QString::number(SystemRoots::attribute(dir, QStringLiteral("devnum")).toInt()));

            QVariantList media;
            for (const QString& diskName : disks.value(name)) {
                const BlockVolume disk = BlockVolume::inspect(roots_, mounts, diskName);
                if (!disk.exists)
                    continue;
                QVariantMap medium;
                medium.insert(QStringLiteral("_name"), disk.model.isEmpty() ? disk.name : disk.model);
                medium.insert(QStringLiteral("bsd_name"), disk.name);
                medium.insert(QStringLiteral("size_in_bytes"), disk.sizeBytes);
                medium.insert(QStringLiteral("removable_media"), disk.removable ? QStringLiteral("yes") : QStringLiteral("no"));
                QVariantList volumes;
                const QStringList partitions = disk.partitions();
                for (const QString& part : partitions) {
                    const BlockVolume volume = BlockVolume::inspect(roots_, mounts, part);
                    if (volume.exists)
                        volumes.append(volumeEntry(volume));
                }
                // A disk formatted without a partition table is its own volume.
                if (partitions.isEmpty() && (disk.isMounted() || !disk.fsType.isEmpty()))
                    volumes.append(volumeEntry(disk));
                if (!volumes.isEmpty())
                    medium.insert(QStringLiteral("volumes"), volumes);
                media.append(medium);
            }
            if (!media.isEmpty())
                map.insert(QStringLiteral("Media"), media);
        }

        QVariantList items;
        for (const QString& child : children.value(name))
            items.append(entry(child));
        if (!items.isEmpty())
            map.insert(QStringLiteral("_items"), items);
        return map;
    };

    QVariantList buses;
    for (const QString& root : roots)
        buses.append(entry(root));
    QVariantMap top;
    top.insert(QStringLiteral("_dataType"), QStringLiteral("SPUSBDataType"));
    if (!buses.isEmpty())
        top.insert(QStringLiteral("_items"), buses);
    return {top};
}

QByteArray UsbDeviceReport::xml() const
{
    return toPlist(items());
}

QByteArray UsbDeviceReport::toPlist(const QVariantList& items)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(-1);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("plist"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    writeValue(w, items);
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}
