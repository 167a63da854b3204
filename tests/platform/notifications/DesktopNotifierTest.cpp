#include "DesktopNotifier.h"
#include "FakeNotificationService.h"
#include "PrivateBus.h"
#include "TrayNotifier.h"

#include <QSignalSpy>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {
struct MockNotifier : UserNotifier {
    MOCK_METHOD(void, post, (const QString& title, const QString& body), (override));
};
} // namespace

TEST(DesktopNotifier, WithoutASessionBusTheTrayShowsIt)
{
    const QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none");
    MockNotifier tray;
    EXPECT_CALL(tray, post(QString("Backup"), QString("Task \"Photos\" is done.")));
    DesktopNotifier notifier(&tray, none);
    EXPECT_TRUE(notifier.usesFallback());
    notifier.post("Backup", "Task \"Photos\" is done."); // at once, no event loop needed
    QDBusConnection::disconnectFromBus("none");
}

TEST(DesktopNotifier, ABusWithoutTheServiceFallsBackAndRemembersIt)
{
    PrivateBus bus;
    if (!bus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    MockNotifier tray;
    EXPECT_CALL(tray, post(QString("t1"), QString("b1")));
    EXPECT_CALL(tray, post(QString("t2"), QString("b2")));
    DesktopNotifier notifier(&tray, bus.connect("client"));
    QSignalSpy fell(&notifier, &DesktopNotifier::fellBack);
    EXPECT_FALSE(notifier.usesFallback());

    notifier.post("t1", "b1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return fell.count() == 1; }, 10000));
    EXPECT_TRUE(notifier.usesFallback());
    notifier.post("t2", "b2");
    EXPECT_EQ(fell.count(), 2) << "the second goes straight to the tray";
}

TEST(DesktopNotifier, SendsNotifyToTheService)
{
    PrivateBus bus;
    if (!bus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    FakeNotificationService service;
    QDBusConnection serverSide = bus.connect("server");
    ASSERT_TRUE(serverSide.registerObject("/org/freedesktop/Notifications", &service, QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(serverSide.registerService("org.freedesktop.Notifications"));

    MockNotifier tray;
    EXPECT_CALL(tray, post).Times(0);
    DesktopNotifier notifier(&tray, bus.connect("client"));
    notifier.setExpireTimeout(8000);
    QSignalSpy delivered(&notifier, &DesktopNotifier::delivered);
    notifier.post("Scheduled backup", "Task \"Docs\" finished.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.count() == 1; }, 10000));
    EXPECT_EQ(delivered.first().first().toUInt(), 1u);

    ASSERT_EQ(service.calls.size(), 1);
    const auto& call = service.calls.first();
    EXPECT_EQ(call.appName, "Zorvi");
    EXPECT_EQ(call.replacesId, 0u);
    EXPECT_EQ(call.summary, "Scheduled backup");
    EXPECT_EQ(call.body, "Task \"Docs\" finished.");
    EXPECT_TRUE(call.actions.isEmpty());
    EXPECT_EQ(call.hints.value("sound-name").toString(), "message-new-instant");
    EXPECT_EQ(call.expireTimeout, 8000);
    EXPECT_FALSE(notifier.usesFallback());
}

TEST(TrayNotifier, WithoutAVisibleTrayIconNothingBreaks)
{
    TrayNotifier none;
    none.post("title", "body");
    QSystemTrayIcon hidden;
    TrayNotifier tray(&hidden);
    tray.post("title", "body");
    DesktopNotifier notifier(nullptr, QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none2"));
    QSignalSpy fell(&notifier, &DesktopNotifier::fellBack);
    notifier.post("title", "body");
    EXPECT_EQ(fell.count(), 1);
    QDBusConnection::disconnectFromBus("none2");
}
