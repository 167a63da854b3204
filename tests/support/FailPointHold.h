#pragma once

#include "FailPoint.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

// Holds every thread that reaches the fail point `point` until release(), so a test can act
// while a run is stopped there. A test that fails before releasing lets go after `limit`, or
// when this goes out of scope.
class FailPointHold {
public:
    explicit FailPointHold(std::string point, std::chrono::milliseconds limit = std::chrono::minutes(1))
        : m_state(std::make_shared<State>())
    {
        // The state is shared: a held thread may still be waking when this is gone.
        FailPoint::setHandler([state = m_state, point = std::move(point), limit](std::string_view hit) {
            if (hit != point)
                return;
            std::unique_lock lock(state->mutex);
            state->held = true;
            state->changed.wait_for(lock, limit, [&state] { return state->released; });
        });
    }
    ~FailPointHold()
    {
        release();
        FailPoint::setHandler(nullptr);
    }
    FailPointHold(const FailPointHold&) = delete;
    FailPointHold& operator=(const FailPointHold&) = delete;

    bool held() const
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->held;
    }
    void release()
    {
        {
            std::lock_guard lock(m_state->mutex);
            m_state->released = true;
        }
        m_state->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool held = false;
        bool released = false;
    };
    std::shared_ptr<State> m_state;
};
