#pragma once

#include <QList>
#include <QString>

// The mounts of /proc/self/mountinfo (or a file of the same format).
class MountTable {
public:
    struct Entry {
        QString majorMinor;  // "8:17"
        QString root;        // root of the mount within its file system
        QString mountPoint;  // unescaped
        QString fsType;      // "vfat", "exfat", "ext4", ...
        QString source;      // "/dev/sdb1"
    };

    // An unreadable file gives an empty table.
    static MountTable read(const QString& path);
    static MountTable parse(const QByteArray& text);

    // The mount of a block device, by its "major:minor" or else by its device node. A
    // mount of the whole file system is preferred over a bind mount of a folder of it.
    const Entry* find(const QString& majorMinor, const QString& devnode) const;

    const QList<Entry>& entries() const { return entries_; }

    // Undoes the octal escapes (\040 for a blank, ...) of a mountinfo field.
    static QString unescape(const QByteArray& field);

private:
    QList<Entry> entries_;
};
