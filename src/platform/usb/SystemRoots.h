#pragma once

#include <QString>

// Where the device reports look for the system's state. Tests point these at a fake tree.
class SystemRoots {
public:
    QString sysfs = QStringLiteral("/sys");
    QString mountinfo = QStringLiteral("/proc/self/mountinfo");
    QString dev = QStringLiteral("/dev");
    QString udevData = QStringLiteral("/run/udev/data");

    // Contents of a sysfs attribute file, trimmed; empty when absent.
    static QString attribute(const QString& dir, const QString& name);

    // A property of the udev database entry of a device: type 'c' (character) or
    // 'b' (block) with its "major:minor"; empty when unknown.
    QString udevProperty(char type, const QString& majorMinor, const QString& key) const;
};
