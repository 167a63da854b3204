#include "FakeSystemTree.h"
#include "PrivateBus.h"
#include "VolumeEjector.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kDrivePath = kRoot + QStringLiteral("/drives/Zorvi_Test_Disk");

// A disk service on a private bus: blocks sdb (no file system), sdb1 (mounted) and sdb2
// (not mounted, or busy when asked), all of one drive.
class FakeDiskService : public QDBusVirtualObject {
public:
    QStringList calls;
    bool sdb2Busy = false;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString path = message.path();
        const QString block = path.section(QLatin1Char('/'), -1);
        calls << message.member() + QLatin1Char(' ') + block;
        QDBusMessage reply;
        if (message.member() == QLatin1String("ResolveDevice")) {
            const QVariantMap devspec = qdbus_cast<QVariantMap>(message.arguments().value(0));
            const QString node = devspec.value(QStringLiteral("path")).toString();
            QList<QDBusObjectPath> found;
            if (node.startsWith(QLatin1String("/dev/sdb")))
                found << QDBusObjectPath(kRoot + QStringLiteral("/block_devices/") + node.mid(5));
            reply = message.createReply(QVariant::fromValue(found));
        } else if (message.member() == QLatin1String("Get")) {
            reply = message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(kDrivePath)))));
        } else if (message.member() == QLatin1String("Unmount")) {
            if (block == QLatin1String("sdb"))
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), QStringLiteral("No such interface"));
            else if (block == QLatin1String("sdb2") && sdb2Busy)
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"),
                                                 QStringLiteral("Error unmounting /dev/sdb2: target is busy"));
            else if (block == QLatin1String("sdb2"))
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.NotMounted"), QStringLiteral("not mounted"));
            else
                reply = message.createReply();
        } else if (message.member() == QLatin1String("PowerOff")) {
            reply = message.createReply();
        } else {
            return false;
        }
        connection.send(reply);
        return true;
    }
};

class VolumeEjectorTest : public ::testing::Test {
protected:
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("eject-client")); }

    // A private message bus, or none when it cannot be started here.
    std::unique_ptr<PrivateBus> startBus()
    {
        auto bus = std::make_unique<PrivateBus>();
        return bus->isRunning() ? std::move(bus) : nullptr;
    }
};

} // namespace

TEST_F(VolumeEjectorTest, NoBusGivesAnErrorText)
{
    const QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/zorvi-bus"),
                                                               QStringLiteral("eject-client"));
    ASSERT_FALSE(none.isConnected());

    VolumeEjector ejector;
    ejector.setConnection(none);
    QSignalSpy finished(&ejector, &VolumeEjector::finished);
    ejector.eject(QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(finished.count(), 0); // never before eject() returns
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }));
    EXPECT_EQ(finished.at(0).at(0).toString(), QStringLiteral("/dev/sdb1"));
    EXPECT_FALSE(finished.at(0).at(1).toBool());
    EXPECT_TRUE(finished.at(0).at(2).toString().contains(QStringLiteral("/dev/sdb1")));

    EXPECT_FALSE(VolumeEjector::ejectNow(none, SystemRoots(), QString()).isEmpty());
}

TEST_F(VolumeEjectorTest, MissingDiskServiceGivesItsErrorText)
{
    const auto daemon = startBus();
    if (!daemon)
        GTEST_SKIP() << "dbus-daemon cannot run here";
    const QDBusConnection bus = daemon->connect(QStringLiteral("eject-client"));
    ASSERT_TRUE(bus.isConnected());
    const QString error = VolumeEjector::ejectNow(bus, SystemRoots(), QStringLiteral("sdb1"));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(VolumeEjectorTest, UnmountsEveryVolumeOfTheDiskThenPowersOff)
{
    const auto daemon = startBus();
    if (!daemon)
        GTEST_SKIP() << "dbus-daemon cannot run here";
    FakeSystemTree tree;
    tree.buildMakerTree();
    FakeDiskService service;
    QDBusConnection serviceBus = daemon->connect(QStringLiteral("eject-service"));
    ASSERT_TRUE(serviceBus.registerVirtualObject(kRoot, &service, QDBusConnection::SubPath));
    ASSERT_TRUE(serviceBus.registerService(QStringLiteral("org.freedesktop.UDisks2")));

    VolumeEjector ejector;
    ejector.setConnection(daemon->connect(QStringLiteral("eject-client")));
    ejector.setSystemRoots(tree.roots());
    QSignalSpy finished(&ejector, &VolumeEjector::finished);
    ejector.eject(QStringLiteral("/dev/sdb1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 20000));
    EXPECT_TRUE(finished.at(0).at(1).toBool()) << finished.at(0).at(2).toString().toStdString();
    EXPECT_EQ(service.calls, (QStringList{"ResolveDevice Manager", "Get sdb1", "Unmount sdb1", "ResolveDevice Manager",
                                          "Unmount sdb", "ResolveDevice Manager", "Unmount sdb2",
                                          "PowerOff Zorvi_Test_Disk"}));

    // A volume that cannot be unmounted stops the eject with the service's text.
    service.calls.clear();
    service.sdb2Busy = true;
    ejector.eject(QStringLiteral("sdb1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 2; }, 20000));
    EXPECT_FALSE(finished.at(1).at(1).toBool());
    EXPECT_EQ(finished.at(1).at(2).toString(), QStringLiteral("Error unmounting /dev/sdb2: target is busy"));
    EXPECT_FALSE(service.calls.contains(QStringLiteral("PowerOff Zorvi_Test_Disk")));

    // A node the service does not know.
    ejector.eject(QStringLiteral("/dev/sdc1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 3; }, 20000));
    EXPECT_FALSE(finished.at(2).at(1).toBool());
    EXPECT_TRUE(finished.at(2).at(2).toString().contains(QStringLiteral("/dev/sdc1")));
}
