#pragma once

#include "Clock.h"
#include "DispatchQueue.h"
#include "TaskInfo.h"
#include "TaskInfoDelegate.h"

#include <QDateTime>
#include <QTest>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

// A clock the test sets by hand.
class FakeClock : public Clock {
public:
    explicit FakeClock(QDateTime now) : now_(std::move(now)) {}
    QDateTime now() const override
    {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void set(const QDateTime& now)
    {
        std::lock_guard lock(mutex_);
        now_ = now;
    }

private:
    mutable std::mutex mutex_;
    QDateTime now_;
};

// Installs a fake clock for one test and restores the system clock afterwards.
class ScopedFakeClock {
public:
    explicit ScopedFakeClock(const QDateTime& now) : clock_(std::make_shared<FakeClock>(now)) { Clock::setCurrent(clock_); }
    ~ScopedFakeClock() { Clock::setCurrent(nullptr); }
    void set(const QDateTime& now) { clock_->set(now); }

private:
    std::shared_ptr<FakeClock> clock_;
};

// Records the tasks handed over on the GUI thread.
class RecordingTaskDelegate : public TaskInfoDelegate {
public:
    void startScheduledTask(const std::shared_ptr<TaskInfo>& task) override { started.push_back(task.get()); }
    std::vector<TaskInfo*> started;
};

// Runs everything already queued on the main queue.
inline void drainMainQueue()
{
    bool done = false;
    DispatchQueue::main().async([&done] { done = true; });
    EXPECT_TRUE(QTest::qWaitFor([&done] { return done; }, 5000));
}

inline QDateTime localTime(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}
