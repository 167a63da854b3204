#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A private session bus (dbus-daemon) for the length of a test; isRunning() is false when
// the daemon is not installed, and the test then skips. Its socket lies in a temporary
// folder of its own, so nothing of it stays behind in /tmp.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();

    bool isRunning() const { return !address_.isEmpty(); }
    // A new connection of its own to the bus, named `name`.
    QDBusConnection connect(const QString& name) const;

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    mutable QStringList names_;
};
