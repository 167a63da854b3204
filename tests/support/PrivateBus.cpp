#include "PrivateBus.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {
// No service directories: nothing on this bus is started on demand, so a test never wakes a
// real desktop service installed on the machine.
const char kConfig[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=%1</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
} // namespace

PrivateBus::PrivateBus()
{
    const QString program = QStandardPaths::findExecutable("dbus-daemon");
    if (program.isEmpty())
        return;
    if (!dir_.isValid())
        return;
    QFile config(dir_.filePath("bus.conf"));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write(QString::fromLatin1(kConfig).arg(dir_.path()).toUtf8());
    config.close();
    // Under umockdev the test's preload library would stand between the daemon and its socket.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_PRELOAD"));
    daemon_.setProcessEnvironment(env);
    daemon_.start(program, { "--config-file=" + config.fileName(), "--nofork", "--nopidfile", "--print-address=1" });
    if (!daemon_.waitForStarted(5000))
        return;
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus()
{
    for (const QString& name : names_)
        QDBusConnection::disconnectFromBus(name);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(3000))
            daemon_.kill();
        daemon_.waitForFinished(3000);
    }
}

QDBusConnection PrivateBus::connect(const QString& name) const
{
    names_.append(name);
    return QDBusConnection::connectToBus(address_, name);
}
