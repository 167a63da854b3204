#include "DiskInfoReport.h"

#include "BlockVolume.h"
#include "MountTable.h"

#include <QFile>

#include <sys/statvfs.h>

namespace {

// A control character in a value (a line feed in a mount path) would forge a line.
QString line(const QString& key, QString value)
{
    for (QChar& c : value) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return QStringLiteral("   %1 %2\n").arg(key + QLatin1Char(':'), -26).arg(value);
}

QString shortSize(quint64 bytes)
{
    static const char* units[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    double v = double(bytes);
    int u = 0;
    while (v >= 1000.0 && u < 5) {
        v /= 1000.0;
        ++u;
    }
    return u == 0 ? QStringLiteral("%1 B").arg(bytes)
                  : QStringLiteral("%1 %2").arg(v, 0, 'f', 1).arg(QLatin1String(units[u]));
}

} // namespace

DiskInfoReport::DiskInfoReport(SystemRoots roots)
    : roots_(std::move(roots))
{
}

QString DiskInfoReport::spaceText(quint64 bytes)
{
    return QStringLiteral("%1 (%2 Bytes) (exactly %3 512-Byte-Units)")
        .arg(shortSize(bytes))
        .arg(bytes)
        .arg(bytes / 512);
}

QString DiskInfoReport::info(const QString& identifier) const
{
    const MountTable mounts = MountTable::read(roots_.mountinfo);
    const BlockVolume v = BlockVolume::inspect(roots_, mounts, identifier);
    if (!v.exists)
        return {};

    QString out;
    out += line(QStringLiteral("Device Identifier"), v.name);
    out += line(QStringLiteral("Device Node"), v.devnode);
    out += line(QStringLiteral("Whole"), v.isPartition ? QStringLiteral("No") : QStringLiteral("Yes"));
    out += line(QStringLiteral("Part of Whole"), v.wholeDisk);
    if (!v.model.isEmpty())
        out += line(QStringLiteral("Device / Media Name"), v.model);
    out += QLatin1Char('\n');
    if (!v.label.isEmpty())
        out += line(QStringLiteral("Volume Name"), v.label);
    out += line(QStringLiteral("Mounted"), v.isMounted() ? QStringLiteral("Yes") : QStringLiteral("No"));
    if (v.isMounted())
        out += line(QStringLiteral("Mount Point"), v.mountPoint);
    out += QLatin1Char('\n');
    if (!v.fsType.isEmpty()) {
        out += line(QStringLiteral("File System Personality"), BlockVolume::personality(v.fsType));
        out += line(QStringLiteral("Type (Bundle)"), v.fsType);
    }
    out += QLatin1Char('\n');
    out += line(QStringLiteral("Disk Size"), spaceText(quint64(v.sizeBytes)));
    out += line(QStringLiteral("Device Block Size"), QStringLiteral("512 Bytes"));

    struct statvfs st {};
    if (v.isMounted() && ::statvfs(QFile::encodeName(v.mountPoint).constData(), &st) == 0) {
        const quint64 unit = st.f_frsize ? st.f_frsize : st.f_bsize;
        const quint64 total = quint64(st.f_blocks) * unit;
        const quint64 used = quint64(st.f_blocks - st.f_bfree) * unit;
        const quint64 available = quint64(st.f_bavail) * unit;
        out += QLatin1Char('\n');
        out += line(QStringLiteral("Volume Total Space"), spaceText(total));
        out += line(QStringLiteral("Volume Used Space"), spaceText(used));
        out += line(QStringLiteral("Volume Free Space"), spaceText(available));
        out += line(QStringLiteral("Allocation Block Size"), QStringLiteral("%1 Bytes").arg(unit));
    }
    return out;
}

QString DiskInfoReport::list(const QString& identifier) const
{
    const MountTable mounts = MountTable::read(roots_.mountinfo);
    const BlockVolume given = BlockVolume::inspect(roots_, mounts, identifier);
    if (!given.exists)
        return {};
    const BlockVolume disk = given.isPartition ? BlockVolume::inspect(roots_, mounts, given.wholeDisk) : given;
    if (!disk.exists)
        return {};

    auto row = [](const QString& index, const QString& type, const QString& name, const QString& size, const QString& id) {
        return QStringLiteral("%1 %2 %3 %4 %5\n")
            .arg(index + QLatin1Char(':'), 4)
            .arg(type, 26)
            .arg(name, -23)
            .arg(size, 10)
            .arg(id);
    };
    QString out = QStringLiteral("%1 (%2, physical):\n")
                      .arg(disk.devnode, disk.removable ? QStringLiteral("external") : QStringLiteral("internal"));
    out += row(QStringLiteral("#"), QStringLiteral("TYPE"), QStringLiteral("NAME"), QStringLiteral("SIZE"), QStringLiteral("IDENTIFIER"));
    out += row(QStringLiteral("0"), QString(), disk.model, QLatin1Char('*') + shortSize(quint64(disk.sizeBytes)), disk.name);
    for (const QString& part : disk.partitions()) {
        const BlockVolume p = BlockVolume::inspect(roots_, mounts, part);
        out += row(QString::number(p.partitionNumber), BlockVolume::personality(p.fsType), p.label,
                   shortSize(quint64(p.sizeBytes)), p.name);
    }
    return out;
}
