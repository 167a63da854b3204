#pragma once

#include "Clock.h"

#include <QDateTime>
#include <memory>
#include <mutex>

// A clock the test sets by hand. Any test that makes a scheduled task installs one first:
// on the wall clock its schedule would also fire whenever the suite runs at that minute.
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
