#pragma once

#include "SystemRoots.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

// Ejects a drive through UDisks2: every file system of the volume's disk is unmounted,
// then the drive is powered off. The D-Bus calls can take seconds (unmount flushes the
// cache), so eject() runs them on the thread pool and answers with finished().
class VolumeEjector : public QObject {
    Q_OBJECT
public:
    explicit VolumeEjector(QObject* parent = nullptr);

    // Defaults: the system bus and the real /sys and /dev.
    void setConnection(const QDBusConnection& bus) { bus_ = bus; }
    void setSystemRoots(const SystemRoots& roots) { roots_ = roots; }

    // deviceNode: "/dev/sdb1" (or "sdb1"). finished() follows on this object's thread,
    // never before eject() returns.
    void eject(const QString& deviceNode);

    // The blocking form, for a worker thread: the error text, empty on success.
    static QString ejectNow(const QDBusConnection& bus, const SystemRoots& roots, const QString& deviceNode);

Q_SIGNALS:
    void finished(const QString& deviceNode, bool ok, const QString& errorText);

private:
    std::optional<QDBusConnection> bus_;
    SystemRoots roots_;
};
