#include "BlockVolume.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

BlockVolume BlockVolume::inspect(const SystemRoots& roots, const MountTable& mounts, const QString& nameOrNode)
{
    BlockVolume v;
    QString name = nameOrNode.trimmed();
    const QString devPrefix = roots.dev + QLatin1Char('/');
    if (name.startsWith(devPrefix))
        name = name.mid(devPrefix.size());
    else if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String("..") || name == QLatin1String("."))
        return v;

    const QFileInfo link(roots.sysfs + QStringLiteral("/class/block/") + name);
    const QString dir = link.canonicalFilePath();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return v;

    v.exists = true;
    v.name = name;
    v.devnode = devPrefix + name;
    v.sysDir = dir;
    v.majorMinor = SystemRoots::attribute(dir, QStringLiteral("dev"));
    v.sizeBytes = SystemRoots::attribute(dir, QStringLiteral("size")).toLongLong() * 512;
    v.isPartition = QFileInfo::exists(dir + QStringLiteral("/partition"));
    if (v.isPartition) {
        v.partitionNumber = SystemRoots::attribute(dir, QStringLiteral("partition")).toInt();
        const QString parent = QFileInfo(dir).path();
        v.wholeDisk = QFileInfo(parent).fileName();
        v.removable = SystemRoots::attribute(parent, QStringLiteral("removable")) == QLatin1String("1");
    } else {
        v.wholeDisk = name;
        v.removable = SystemRoots::attribute(dir, QStringLiteral("removable")) == QLatin1String("1");
        v.model = SystemRoots::attribute(dir, QStringLiteral("device/model"));
    }
    v.label = roots.udevProperty('b', v.majorMinor, QStringLiteral("ID_FS_LABEL"));

    const QString udevType = roots.udevProperty('b', v.majorMinor, QStringLiteral("ID_FS_TYPE"));
    if (const MountTable::Entry* mount = mounts.find(v.majorMinor, v.devnode)) {
        v.mountPoint = mount->mountPoint;
        // FUSE mounts (ntfs-3g) name no real type; udev knows it.
        v.fsType = mount->fsType == QLatin1String("fuseblk") && !udevType.isEmpty() ? udevType : mount->fsType;
    } else {
        v.fsType = udevType;
    }
    return v;
}

QString BlockVolume::personality(const QString& fsType)
{
    const QString t = fsType.toLower();
    if (t == QLatin1String("vfat") || t == QLatin1String("msdos") || t == QLatin1String("fat"))
        return QStringLiteral("MS-DOS FAT32");
    if (t == QLatin1String("exfat"))
        return QStringLiteral("ExFAT");
    if (t == QLatin1String("ntfs") || t == QLatin1String("ntfs3"))
        return QStringLiteral("NTFS");
    if (t == QLatin1String("hfsplus"))
        return QStringLiteral("HFS+");
    return fsType;
}

QStringList BlockVolume::partitions() const
{
    if (!exists || isPartition)
        return {};
    QList<QPair<int, QString>> found;
    const QDir dir(sysDir);
    for (const QString& entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString sub = sysDir + QLatin1Char('/') + entry;
        if (QFileInfo::exists(sub + QStringLiteral("/partition")))
            found.append({SystemRoots::attribute(sub, QStringLiteral("partition")).toInt(), entry});
    }
    std::sort(found.begin(), found.end());
    QStringList names;
    for (const auto& p : found)
        names.append(p.second);
    return names;
}
