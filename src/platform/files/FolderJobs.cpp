#include "FolderJobs.h"

#include <algorithm>
#include <thread>

namespace {
constexpr size_t kMaxWaiting = 64;
}

void FolderJobs::run(Job first, unsigned threads)
{
    FolderJobs jobs;
    jobs.m_waiting.push_back(std::move(first));
    const unsigned helpers = std::clamp(std::min(threads, std::thread::hardware_concurrency()), 1u, 16u) - 1;
    std::vector<std::jthread> started;
    for (unsigned i = 0; i < helpers; ++i)
        started.emplace_back([&jobs] { jobs.work(); });
    jobs.work();
}

void FolderJobs::add(Job job)
{
    std::unique_lock lock(m_mutex);
    if (m_waiting.size() >= kMaxWaiting) {
        lock.unlock();
        job(*this);
        return;
    }
    m_waiting.push_back(std::move(job));
    lock.unlock();
    m_wake.notify_one();
}

void FolderJobs::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_waiting.empty() || m_busy == 0; });
        if (m_waiting.empty())
            return;
        Job job = std::move(m_waiting.back());
        m_waiting.pop_back();
        ++m_busy;
        lock.unlock();
        job(*this);
        lock.lock();
        if (--m_busy == 0 && m_waiting.empty())
            m_wake.notify_all();
    }
}
