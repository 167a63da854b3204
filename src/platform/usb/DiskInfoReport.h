#pragma once

#include "SystemRoots.h"

#include <QString>

// The volume details that drive discovery reads, in the layout of the "diskutil info"
// and "diskutil list" reports: "   Mount Point:   /media/u/X", "   File System
// Personality:   ExFAT", "   Volume Total Space:   31.9 GB (31914983424 Bytes) (...)"
// and so on, built from sysfs, the mount table and statvfs.
class DiskInfoReport {
public:
    explicit DiskInfoReport(SystemRoots roots = SystemRoots());

    // identifier: "sdb1" or "/dev/sdb1". Empty text when there is no such block device.
    // Mount point and space lines appear only for a mounted volume.
    QString info(const QString& identifier) const;

    // The disk (or the disk of a partition) with one line per partition. Empty text
    // when there is no such block device.
    QString list(const QString& identifier) const;

    // "31.9 GB (31914983424 Bytes) (exactly 62333952 512-Byte-Units)"
    static QString spaceText(quint64 bytes);

private:
    SystemRoots roots_;
};
