#include "VolumeEjector.h"

#include "BlockVolume.h"
#include "MountTable.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QPointer>
#include <QThreadPool>

Q_LOGGING_CATEGORY(lcEject, "zorvi.usb.eject")

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kManager = QStringLiteral("org.freedesktop.UDisks2.Manager");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kNotMounted = QStringLiteral("org.freedesktop.UDisks2.Error.NotMounted");
const QString kUnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString kUnknownInterface = QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface");

// Unmounting flushes the drive's cache, which can take long on a slow stick.
constexpr int kCallTimeoutMs = 120000;

QDBusMessage call(const QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, kCallTimeoutMs);
}

QString errorText(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

// The UDisks2 block object of a device node; empty with error set when there is none.
QString resolveBlock(const QDBusConnection& bus, const QString& node, QString* error)
{
    const QDBusMessage reply = call(bus, kManagerPath, kManager, QStringLiteral("ResolveDevice"),
                                    {QVariantMap{{QStringLiteral("path"), node}}, QVariantMap()});
    if (reply.type() == QDBusMessage::ErrorMessage) {
        *error = errorText(reply);
        return {};
    }
    const QList<QDBusObjectPath> paths = reply.arguments().value(0).isValid()
        ? qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().constFirst())
        : QList<QDBusObjectPath>();
    if (paths.isEmpty()) {
        *error = QObject::tr("The device %1 is not known to the disk service.").arg(node);
        return {};
    }
    return paths.constFirst().path();
}

} // namespace

VolumeEjector::VolumeEjector(QObject* parent)
    : QObject(parent)
{
}

void VolumeEjector::eject(const QString& deviceNode)
{
    const QDBusConnection bus = bus_.value_or(QDBusConnection::systemBus());
    const SystemRoots roots = roots_;
    QPointer<VolumeEjector> self(this);
    QThreadPool::globalInstance()->start([self, bus, roots, deviceNode] {
        const QString error = ejectNow(bus, roots, deviceNode);
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(),
            [self, deviceNode, error] {
                if (self)
                    Q_EMIT self->finished(deviceNode, error.isEmpty(), error);
            },
            Qt::QueuedConnection);
    });
}

QString VolumeEjector::ejectNow(const QDBusConnection& bus, const SystemRoots& roots, const QString& deviceNode)
{
    if (deviceNode.trimmed().isEmpty())
        return tr("No device to eject.");
    QString node = deviceNode.trimmed();
    if (!node.startsWith(QLatin1Char('/')))
        node = roots.dev + QLatin1Char('/') + node;

    if (!bus.isConnected()) {
        const QString reason = bus.lastError().message();
        return reason.isEmpty() ? tr("Cannot reach the system bus to eject %1.").arg(node)
                                : tr("Cannot reach the system bus to eject %1: %2").arg(node, reason);
    }

    QString error;
    const QString block = resolveBlock(bus, node, &error);
    if (block.isEmpty())
        return error;

    const QDBusMessage driveReply = call(bus, block, QStringLiteral("org.freedesktop.DBus.Properties"),
                                         QStringLiteral("Get"), {kBlock, QStringLiteral("Drive")});
    if (driveReply.type() == QDBusMessage::ErrorMessage)
        return errorText(driveReply);
    const QString drive = qdbus_cast<QDBusObjectPath>(
                              qdbus_cast<QDBusVariant>(driveReply.arguments().value(0)).variant())
                              .path();
    if (drive.isEmpty() || drive == QLatin1String("/"))
        return tr("The device %1 belongs to no drive that can be ejected.").arg(node);

    // Every volume of the disk goes offline with it, so each one is unmounted first.
    const MountTable mounts = MountTable::read(roots.mountinfo);
    const BlockVolume volume = BlockVolume::inspect(roots, mounts, node);
    QStringList nodes{node};
    if (volume.exists) {
        const BlockVolume disk = volume.isPartition ? BlockVolume::inspect(roots, mounts, volume.wholeDisk) : volume;
        if (disk.exists) {
            if (!nodes.contains(disk.devnode))
                nodes.append(disk.devnode);
            for (const QString& part : disk.partitions()) {
                const QString partNode = roots.dev + QLatin1Char('/') + part;
                if (!nodes.contains(partNode))
                    nodes.append(partNode);
            }
        }
    }
    for (const QString& each : nodes) {
        QString resolveError;
        const QString object = each == node ? block : resolveBlock(bus, each, &resolveError);
        if (object.isEmpty())
            continue; // a sibling the service does not list holds no file system of ours
        const QDBusMessage reply = call(bus, object, kFilesystem, QStringLiteral("Unmount"), {QVariantMap()});
        if (reply.type() == QDBusMessage::ErrorMessage) {
            const QString name = reply.errorName();
            if (name == kNotMounted || name == kUnknownMethod || name == kUnknownInterface)
                continue; // nothing mounted there, or no file system at all
            return errorText(reply);
        }
        qCDebug(lcEject) << "unmounted" << each;
    }

    const QDBusMessage off = call(bus, drive, kDrive, QStringLiteral("PowerOff"), {QVariantMap()});
    if (off.type() == QDBusMessage::ErrorMessage)
        return errorText(off);
    return {};
}
