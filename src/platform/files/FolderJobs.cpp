#include "FolderJobs.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

namespace {
constexpr size_t kMaxWaiting = 64;
}

FolderJobs::FolderJobs(unsigned threads)
{
    const unsigned count = std::clamp(std::min(threads, std::thread::hardware_concurrency()), 1u, 16u);
    m_workers.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        m_workers.push_back(Worker(*this, i));
}

FolderJobs::Failures FolderJobs::run(Job first)
{
    // The first job runs on the caller's thread, as worker 0: it may hold state of the caller's
    // (a copier's own buffers) that no other thread may touch. Until it is done the helpers
    // only wait for what it hands on.
    m_busy = 1;
    std::vector<std::jthread> started;
    for (unsigned i = 1; i < m_workers.size(); ++i) {
        try {
            started.emplace_back([this, i] { work(m_workers[i]); });
        } catch (const std::system_error&) {
            break;   // no more threads to be had: the ones there do it all
        }
    }
    std::string error;
    const bool ok = invoke(first, m_workers[0], &error);
    {
        std::lock_guard lock(m_mutex);
        if (!ok)
            record(m_failures, std::move(error));
        if (--m_busy == 0 && m_waiting.empty())
            m_wake.notify_all();
    }
    work(m_workers[0]);
    started.clear();
    return m_failures;
}

void FolderJobs::Worker::add(Job job)
{
    FolderJobs& jobs = *m_jobs;
    std::unique_lock lock(jobs.m_mutex);
    if (jobs.m_waiting.size() >= kMaxWaiting) {
        lock.unlock();
        std::string error;
        if (!invoke(job, *this, &error)) {
            lock.lock();
            record(jobs.m_failures, std::move(error));
        }
        return;
    }
    jobs.m_waiting.push_back({std::move(job), nullptr});
    lock.unlock();
    jobs.m_wake.notify_one();
}

bool FolderJobs::Worker::othersIdle() const { return m_jobs->m_idle.load(std::memory_order_relaxed) > 0; }

bool FolderJobs::Group::offer(Job job)
{
    FolderJobs& jobs = *m_worker.m_jobs;
    std::unique_lock lock(jobs.m_mutex);
    // Only to a thread with nothing to do: the rest stays with the caller, so few folders are open.
    if (jobs.m_idle.load(std::memory_order_relaxed) <= int(jobs.m_waiting.size()))
        return false;
    jobs.m_waiting.push_back({std::move(job), this});
    ++m_pending;
    m_offered = true;
    lock.unlock();
    jobs.m_wake.notify_one();
    return true;
}

void FolderJobs::Group::wait()
{
    if (!m_offered)
        return;
    FolderJobs& jobs = *m_worker.m_jobs;
    std::unique_lock lock(jobs.m_mutex);
    while (m_pending > 0) {
        if (!jobs.m_waiting.empty())
            jobs.runWaiting(lock, m_worker);
        else
            jobs.idle(lock);
    }
    // The wake-up that ended the wait may have been meant for a job queued meanwhile.
    if (!jobs.m_waiting.empty())
        jobs.m_wake.notify_one();
}

void FolderJobs::work(Worker& worker)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_waiting.empty())
            runWaiting(lock, worker);
        else if (m_busy == 0)
            return;
        else
            idle(lock);
    }
}

void FolderJobs::idle(std::unique_lock<std::mutex>& lock)
{
    m_idle.fetch_add(1, std::memory_order_relaxed);
    m_wake.wait(lock);
    m_idle.fetch_sub(1, std::memory_order_relaxed);
}

void FolderJobs::runWaiting(std::unique_lock<std::mutex>& lock, Worker& worker)
{
    Entry entry = std::move(m_waiting.back());
    m_waiting.pop_back();
    ++m_busy;
    lock.unlock();
    std::string error;
    const bool ok = invoke(entry.job, worker, &error);
    entry.job = nullptr;
    lock.lock();
    if (!ok)
        record(entry.group ? entry.group->m_failures : m_failures, std::move(error));
    // Counted down whatever the job did: a waiting group or run() must never wait for it.
    const bool groupDone = entry.group && --entry.group->m_pending == 0;
    const bool allDone = --m_busy == 0 && m_waiting.empty();
    if (groupDone || allDone)
        m_wake.notify_all();
}

bool FolderJobs::invoke(const Job& job, Worker& worker, std::string* error)
{
    try {
        job(worker);
        return true;
    } catch (const std::exception& e) {
        *error = e.what();
    } catch (...) {
        *error = "unknown exception";
    }
    return false;
}

void FolderJobs::record(Failures& failures, std::string error)
{
    if (failures.count++ == 0)
        failures.first = std::move(error);
}
