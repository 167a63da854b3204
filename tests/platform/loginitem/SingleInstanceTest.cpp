#include "PrivateBus.h"
#include "SingleInstance.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

TEST(SingleInstance, WithoutASessionBusItIsTheOnlyInstance)
{
    const QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none");
    ASSERT_FALSE(none.isConnected());
    SingleInstance first(none);
    SingleInstance second(none);
    EXPECT_EQ(first.claim(), SingleInstance::Outcome::NoBus);
    EXPECT_EQ(second.claim(), SingleInstance::Outcome::NoBus);
    EXPECT_FALSE(first.shouldExit());
    EXPECT_FALSE(second.shouldExit());
    QDBusConnection::disconnectFromBus("none");
}

TEST(SingleInstance, ASecondInstanceActivatesTheFirstAndExits)
{
    PrivateBus bus;
    if (!bus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    const QString name = "com.morvantek.ZorviTest";

    SingleInstance first(bus.connect("first"), name);
    QSignalSpy activated(&first, &SingleInstance::activateRequested);
    ASSERT_EQ(first.claim(), SingleInstance::Outcome::Primary);
    EXPECT_FALSE(first.shouldExit());

    {
        SingleInstance second(bus.connect("second"), name);
        EXPECT_EQ(second.claim(), SingleInstance::Outcome::ActivatedOther);
        EXPECT_TRUE(second.shouldExit());
        EXPECT_TRUE(QTest::qWaitFor([&] { return activated.count() == 1; }, 5000));
        EXPECT_EQ(second.claim(), SingleInstance::Outcome::ActivatedOther) << "claiming is done once";
    }
    EXPECT_EQ(activated.count(), 1);
}

TEST(SingleInstance, TheNameIsFreeAgainWhenTheFirstEnds)
{
    PrivateBus bus;
    if (!bus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    const QString name = "com.morvantek.ZorviTest";
    {
        SingleInstance first(bus.connect("a"), name);
        ASSERT_EQ(first.claim(), SingleInstance::Outcome::Primary);
    }
    SingleInstance next(bus.connect("b"), name);
    EXPECT_EQ(next.claim(), SingleInstance::Outcome::Primary);
}

TEST(SingleInstance, AnOwnerThatDoesNotAnswerStillMeansExit)
{
    PrivateBus bus;
    if (!bus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    const QString name = "com.morvantek.ZorviTest";
    // Some other program holds the name and exports nothing.
    QDBusConnection squatter = bus.connect("squatter");
    ASSERT_TRUE(squatter.registerService(name));

    SingleInstance second(bus.connect("late"), name);
    second.setActivationTimeout(2000);
    EXPECT_EQ(second.claim(), SingleInstance::Outcome::OtherUnresponsive);
    EXPECT_TRUE(second.shouldExit());
}
