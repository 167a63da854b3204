#include "CancelWatch.h"

#include <chrono>

CancelWatch::CancelWatch(const std::atomic<bool>& flag, std::function<void()> stop)
    : m_thread([&flag, stop = std::move(stop)](std::stop_token token) {
        while (!token.stop_requested()) {
            if (flag.load()) {
                stop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    })
{
}
