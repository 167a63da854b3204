#pragma once

#include <chrono>
#include <functional>
#include <memory>

class DispatchQueue;

// A repeating timer whose handler runs on a main or serial queue.
// Ticks never pile up: a slow handler delays later ticks instead of running twice at once.
// All members may be called from any thread. After cancel() the handler never runs again,
// even when a tick was already queued; destroying the timer cancels it.
class DispatchTimer {
public:
    using Handler = std::function<void()>;

    explicit DispatchTimer(DispatchQueue& queue);
    ~DispatchTimer();
    DispatchTimer(const DispatchTimer&) = delete;
    DispatchTimer& operator=(const DispatchTimer&) = delete;

    void setHandler(Handler handler);

    // First tick after firstDeadline, then every interval. A zero leeway asks for a
    // precise timer, any other a coarse one. Calling it again re-arms the timer.
    void schedule(std::chrono::milliseconds firstDeadline,
                  std::chrono::milliseconds interval,
                  std::chrono::milliseconds leeway = std::chrono::milliseconds(0));

    void resume();
    void cancel();
    bool isCancelled() const;

    DispatchQueue& queue() const { return queue_; }

    struct State; // shared with the blocks queued on the timer's thread

private:
    DispatchQueue& queue_;
    std::shared_ptr<State> state_;
};
