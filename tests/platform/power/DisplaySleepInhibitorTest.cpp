#include "DisplaySleepInhibitor.h"
#include "FakeInhibitServices.h"
#include "PrivateBus.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <poll.h>

namespace {

QDBusConnection noBus(const char* name)
{
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QString::fromLatin1(name));
}

// True once every writer of the pipe has gone.
bool closedByClient(int readEnd)
{
    pollfd p{readEnd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    char c;
    return ::read(readEnd, &c, 1) == 0;
}

QStringList g_lines;
void keepLine(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_lines.append(text);
}

} // namespace

TEST(DisplaySleepInhibitor, TheScreenSaverHoldsItAndGetsEveryCookieBack)
{
    PrivateBus bus;
    if (!bus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    FakeScreenSaver saver;
    QDBusConnection server = bus.connect("server");
    ASSERT_TRUE(server.registerObject("/org/freedesktop/ScreenSaver", &saver, QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(server.registerService("org.freedesktop.ScreenSaver"));

    DisplaySleepInhibitor inhibitor(bus.connect("client"), noBus("nosystem1"));
    QSignalSpy settled(&inhibitor, &DisplaySleepInhibitor::settled);
    inhibitor.inhibit("Unknown reason");
    inhibitor.inhibit("Unknown reason"); // already asked: nothing more
    ASSERT_TRUE(settled.wait(5000));
    EXPECT_EQ(inhibitor.holder(), DisplaySleepInhibitor::Holder::ScreenSaver);
    EXPECT_EQ(saver.inhibits, QStringList{"Zorvi|Unknown reason"});

    inhibitor.release();
    EXPECT_EQ(inhibitor.holder(), DisplaySleepInhibitor::Holder::None);
    ASSERT_TRUE(QTest::qWaitFor([&] { return saver.uninhibited.size() == 1; }, 5000));
    EXPECT_EQ(saver.uninhibited.first(), 41u);

    // Released before the answer came: the late cookie is handed straight back.
    inhibitor.inhibit("Unknown reason");
    inhibitor.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saver.uninhibited.size() == 2; }, 5000));
    EXPECT_EQ(saver.uninhibited.last(), 42u);
    EXPECT_EQ(inhibitor.holder(), DisplaySleepInhibitor::Holder::None);
    QDBusConnection::disconnectFromBus("nosystem1");
}

TEST(DisplaySleepInhibitor, WithoutAScreenSaverLogindsDescriptorIsKeptUntilRelease)
{
    PrivateBus session;
    PrivateBus system;
    if (!session.isRunning() || !system.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    FakeLogind logind;
    QDBusConnection server = system.connect("logind");
    ASSERT_TRUE(server.registerObject("/org/freedesktop/login1", &logind, QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(server.registerService("org.freedesktop.login1"));

    DisplaySleepInhibitor inhibitor(session.connect("client"), system.connect("client"));
    QSignalSpy settled(&inhibitor, &DisplaySleepInhibitor::settled);
    inhibitor.inhibit("Unknown reason");
    ASSERT_TRUE(settled.wait(5000));
    EXPECT_EQ(inhibitor.holder(), DisplaySleepInhibitor::Holder::Logind);
    ASSERT_EQ(logind.calls, QStringList{"idle|Zorvi|Unknown reason|block"});
    ASSERT_EQ(logind.readEnds.size(), 1);
    QTest::qWait(100);
    EXPECT_FALSE(closedByClient(logind.readEnds.first())) << "the inhibitor must last while held";

    inhibitor.release();
    EXPECT_TRUE(QTest::qWaitFor([&] { return closedByClient(logind.readEnds.first()); }, 5000));
}

TEST(DisplaySleepInhibitor, WithNoServiceItIsLoggedOnceAndNothingFails)
{
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepLine);
    {
        DisplaySleepInhibitor inhibitor(noBus("nosession3"), noBus("nosystem3"));
        QSignalSpy settled(&inhibitor, &DisplaySleepInhibitor::settled);
        for (int round = 0; round < 2; ++round) {
            inhibitor.inhibit("Unknown reason");
            EXPECT_TRUE(inhibitor.isRequested());
            EXPECT_EQ(inhibitor.holder(), DisplaySleepInhibitor::Holder::None);
            inhibitor.release();
            EXPECT_FALSE(inhibitor.isRequested());
        }
        EXPECT_EQ(settled.count(), 2);
    }
    qInstallMessageHandler(previous);
    QDBusConnection::disconnectFromBus("nosession3");
    QDBusConnection::disconnectFromBus("nosystem3");
    EXPECT_EQ(g_lines.filter("display may sleep").size(), 1) << g_lines.join('\n').toStdString();
}
