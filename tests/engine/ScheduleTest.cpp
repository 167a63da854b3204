#include "EngineTestSupport.h"

#include "DispatchTimer.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

TaskInfoPtr scheduledTask(const QString& mode, int hour, int minute, QList<qint64> date = {},
                          QList<qint64> weekday = {}, bool delayFirstCheck = true)
{
    return TaskInfo::initWithValues("T", "", { "/src" }, "/dest", { "0" }, 1, "", mode, hour, minute, date,
                                    weekday, 0, 0, 0, 0, 0, 0, {}, delayFirstCheck);
}

// Checks the task at `when` and counts the hand-overs that reach the delegate.
int runsAt(ScopedFakeClock& clock, TaskInfo& task, RecordingTaskDelegate& delegate, const QDateTime& when)
{
    const size_t before = delegate.started.size();
    clock.set(when);
    task.checkSchedule();
    drainMainQueue();
    return int(delegate.started.size() - before);
}

} // namespace

// Tasks are made with the clock outside their minute, so no tick of their own interferes:
// the first real tick is a minute away and every check below is made by the test.

TEST(TaskSchedule, WeeklyRunsOnListedWeekdaysOnly)
{
    ScopedFakeClock clock(localTime(2026, 12, 1, 8, 0));
    RecordingTaskDelegate delegate;
    auto task = scheduledTask("Weekly", 9, 30, {}, { 1, 7 });
    task->taskInfoDelegate = &delegate;
    // 2026-12-06 is a Sunday, 2026-12-12 a Saturday.
    for (int day = 6; day <= 12; ++day) {
        const int expected = (day == 6 || day == 12) ? 1 : 0;
        EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, day, 9, 30, 5)), expected) << "day " << day;
    }
}

TEST(TaskSchedule, MonthlyThirtyFirstSkipsShortMonths)
{
    ScopedFakeClock clock(localTime(2026, 10, 1, 8, 0));
    RecordingTaskDelegate delegate;
    auto task = scheduledTask("Monthly", 23, 59, { 31 });
    task->taskInfoDelegate = &delegate;
    int runs = 0;
    for (int day = 1; day <= 30; ++day)
        runs += runsAt(clock, *task, delegate, localTime(2026, 11, day, 23, 59, 1));
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 31, 23, 59, 1)), 1);
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2027, 1, 31, 23, 58, 1)), 0);
}

TEST(TaskSchedule, HourAndMinuteMustBothMatch)
{
    ScopedFakeClock clock(localTime(2026, 12, 1, 8, 0));
    RecordingTaskDelegate delegate;
    auto task = scheduledTask("Daily", 9, 30);
    task->taskInfoDelegate = &delegate;
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 2, 10, 30)), 0);
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 2, 9, 31)), 0);
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 2, 9, 30)), 1);
    ASSERT_EQ(delegate.started.size(), 1u);
    EXPECT_EQ(delegate.started[0], task.get());
}

TEST(TaskSchedule, NeverTwiceInOneMinute)
{
    ScopedFakeClock clock(localTime(2026, 12, 1, 8, 0));
    RecordingTaskDelegate delegate;
    auto task = scheduledTask("Daily", 9, 30);
    task->taskInfoDelegate = &delegate;
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 2, 9, 30, 0)), 1);
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 2, 9, 30, 1)), 0);
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 2, 9, 30, 59)), 0);
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 3, 9, 30, 0)), 1);
}

TEST(TaskSchedule, OtherModesNeverFallDue)
{
    ScopedFakeClock clock(localTime(2026, 12, 1, 8, 0));
    RecordingTaskDelegate delegate;
    auto task = scheduledTask("Hourly", 9, 30, { 2 }, { 1, 2, 3, 4, 5, 6, 7 });
    task->taskInfoDelegate = &delegate;
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 2, 9, 30)), 0);

    // A "None" task has no timer, so nothing is checked at all.
    auto none = scheduledTask("None", 9, 30);
    none->taskInfoDelegate = &delegate;
    EXPECT_EQ(runsAt(clock, *none, delegate, localTime(2026, 12, 2, 9, 30)), 0);
}

TEST(TaskSchedule, DailyCreatedInsideItsMinuteRunsOnlyWithoutDelay)
{
    ScopedFakeClock clock(localTime(2026, 12, 2, 9, 30, 20));
    RecordingTaskDelegate delegate;

    // Delay false: the timer's own first tick comes at once and hands the task over.
    auto immediate = scheduledTask("Daily", 9, 30, {}, {}, false);
    immediate->taskInfoDelegate = &delegate;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate.started.empty(); }, 5000));
    EXPECT_EQ(delegate.started[0], immediate.get());

    // Delay true (a task rebuilt by the volume re-mapping): no check in this minute...
    RecordingTaskDelegate later;
    auto delayed = scheduledTask("Daily", 9, 30, {}, {}, true);
    delayed->taskInfoDelegate = &later;
    EXPECT_EQ(runsAt(clock, *delayed, later, localTime(2026, 12, 2, 9, 30, 40)), 0);
    // ...and the next day's 09:30 runs.
    EXPECT_EQ(runsAt(clock, *delayed, later, localTime(2026, 12, 3, 9, 30, 0)), 1);
}

TEST(TaskSchedule, StoppedTimerChecksNothing)
{
    ScopedFakeClock clock(localTime(2026, 12, 1, 8, 0));
    RecordingTaskDelegate delegate;
    auto task = scheduledTask("Daily", 9, 30);
    task->taskInfoDelegate = &delegate;
    task->stopScheduleTimer();
    EXPECT_FALSE(task->scheduleTimer);
    EXPECT_EQ(runsAt(clock, *task, delegate, localTime(2026, 12, 2, 9, 30)), 0);
}

TEST(TaskSchedule, StopWithModeNoneLeavesTheTimerRunning)
{
    ScopedFakeClock clock(localTime(2026, 12, 1, 8, 0));
    auto task = scheduledTask("Daily", 9, 30);
    task->scheduleMode = "None";
    task->stopScheduleTimer();
    ASSERT_TRUE(task->scheduleTimer);
    EXPECT_FALSE(task->scheduleTimer->isCancelled());
}

TEST(TaskSchedule, ReleasedTaskNeverReachesItsDelegate)
{
    ScopedFakeClock clock(localTime(2026, 12, 2, 9, 30, 10));
    RecordingTaskDelegate delegate;
    {
        // Due at once; released before the GUI thread gets to run anything.
        auto task = scheduledTask("Daily", 9, 30, {}, {}, false);
        task->taskInfoDelegate = &delegate;
    }
    // Let a tick that may already have been queued run out on both threads.
    bool flushed = false;
    DispatchQueue::serial("com.domain.app.timer").async([&] { DispatchQueue::main().async([&] { flushed = true; }); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return flushed; }, 5000));
    QTest::qWait(200);
    drainMainQueue();
    EXPECT_TRUE(delegate.started.empty());
}
