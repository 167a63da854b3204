#pragma once

#include <atomic>
#include <functional>
#include <thread>

// Stops a blocking call (an archive being written or read) when a cancel flag is raised: a
// thread looks at the flag every few milliseconds until the watch is destroyed.
class CancelWatch {
public:
    CancelWatch(const std::atomic<bool>& flag, std::function<void()> stop);

private:
    std::jthread m_thread;
};
