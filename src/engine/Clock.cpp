#include "Clock.h"

#include <mutex>

namespace {

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

std::mutex g_clockMutex;
std::shared_ptr<Clock> g_clock;

} // namespace

std::shared_ptr<Clock> Clock::current()
{
    std::lock_guard lock(g_clockMutex);
    if (!g_clock)
        g_clock = std::make_shared<SystemClock>();
    return g_clock;
}

void Clock::setCurrent(std::shared_ptr<Clock> clock)
{
    std::lock_guard lock(g_clockMutex);
    g_clock = clock ? std::move(clock) : std::make_shared<SystemClock>();
}
