#pragma once

#include <QDateTime>
#include <memory>

// The wall clock, replaceable so tests can put the schedule at any date and time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    static std::shared_ptr<Clock> current();
    static void setCurrent(std::shared_ptr<Clock> clock); // null restores the system clock
};
