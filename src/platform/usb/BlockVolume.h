#pragma once

#include "MountTable.h"
#include "SystemRoots.h"

#include <QString>
#include <QStringList>

// One block device (a whole disk or a partition) as sysfs, the udev database and the
// mount table describe it.
class BlockVolume {
public:
    // name: "sdb1" or "/dev/sdb1". exists is false when sysfs has no such block device.
    static BlockVolume inspect(const SystemRoots& roots, const MountTable& mounts, const QString& name);

    // The name diskutil-style reports give a file system type ("vfat" gives "MS-DOS FAT32").
    static QString personality(const QString& fsType);

    bool exists = false;
    QString name;         // "sdb1"
    QString devnode;      // "/dev/sdb1"
    QString sysDir;       // canonical sysfs folder
    QString majorMinor;   // "8:17"
    bool isPartition = false;
    int partitionNumber = 0;
    QString wholeDisk;    // "sdb" (the disk itself for a whole disk)
    qint64 sizeBytes = 0;
    bool removable = false;
    QString model;        // disk model, whole disks only
    QString label;        // file system label, when udev knows it
    QString fsType;       // from the mount, else from udev
    QString mountPoint;   // empty when not mounted

    bool isMounted() const { return !mountPoint.isEmpty(); }
    // Partitions of a whole disk, by partition number; empty for a partition.
    QStringList partitions() const;
};
