#include "DispatchTimer.h"

#include "DispatchQueue.h"

#include <QMutex>
#include <QTimer>
#include <atomic>

struct DispatchTimer::State {
    QMutex mutex;
    Handler handler;
    std::atomic<bool> cancelled { false };
    std::atomic<bool> resumed { false };
    std::chrono::milliseconds first { 0 };
    std::chrono::milliseconds interval { 0 };
    std::chrono::milliseconds leeway { 0 };
    QTimer* timer = nullptr; // lives on the queue's thread; touched only there
    quint64 generation = 0;  // bumped by schedule(), so a stale arm request is ignored

    void fire()
    {
        if (cancelled.load())
            return;
        Handler h;
        {
            QMutexLocker lock(&mutex);
            h = handler;
        }
        if (h)
            h();
    }
};

namespace {

// Runs on the queue's thread: (re)creates the QTimer with the current schedule.
void arm(const std::shared_ptr<DispatchTimer::State>& state, quint64 generation)
{
    using State = DispatchTimer::State;
    State& s = *state;
    if (s.cancelled.load())
        return;
    std::chrono::milliseconds first, interval, leeway;
    {
        QMutexLocker lock(&s.mutex);
        if (generation != s.generation)
            return;
        first = s.first;
        interval = s.interval;
        leeway = s.leeway;
    }
    delete s.timer;
    s.timer = new QTimer;
    s.timer->setTimerType(leeway.count() == 0 ? Qt::PreciseTimer : Qt::CoarseTimer);
    std::weak_ptr<State> weak = state;
    QObject::connect(s.timer, &QTimer::timeout, s.timer, [weak, interval]() {
        auto st = weak.lock();
        if (!st)
            return;
        if (st->timer && st->timer->interval() != int(interval.count()))
            st->timer->setInterval(int(interval.count()));
        st->fire();
    });
    s.timer->start(int(first.count()));
}

void disarm(const std::shared_ptr<DispatchTimer::State>& state)
{
    delete state->timer;
    state->timer = nullptr;
}

} // namespace

DispatchTimer::DispatchTimer(DispatchQueue& queue)
    : queue_(queue)
    , state_(std::make_shared<State>())
{
}

DispatchTimer::~DispatchTimer()
{
    cancel();
}

void DispatchTimer::setHandler(Handler handler)
{
    QMutexLocker lock(&state_->mutex);
    state_->handler = std::move(handler);
}

void DispatchTimer::schedule(std::chrono::milliseconds firstDeadline,
                             std::chrono::milliseconds interval,
                             std::chrono::milliseconds leeway)
{
    quint64 generation;
    {
        QMutexLocker lock(&state_->mutex);
        state_->first = std::max(firstDeadline, std::chrono::milliseconds(0));
        state_->interval = std::max(interval, std::chrono::milliseconds(1));
        state_->leeway = leeway;
        generation = ++state_->generation;
    }
    if (state_->resumed.load()) {
        auto state = state_;
        queue_.async([state, generation]() { arm(state, generation); });
    }
}

void DispatchTimer::resume()
{
    if (state_->resumed.exchange(true) || state_->cancelled.load())
        return;
    quint64 generation;
    {
        QMutexLocker lock(&state_->mutex);
        generation = state_->generation;
    }
    auto state = state_;
    queue_.async([state, generation]() { arm(state, generation); });
}

void DispatchTimer::cancel()
{
    if (state_->cancelled.exchange(true))
        return;
    auto state = state_;
    queue_.async([state]() { disarm(state); });
}

bool DispatchTimer::isCancelled() const
{
    return state_->cancelled.load();
}
