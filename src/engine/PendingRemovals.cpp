#include "PendingRemovals.h"

#include "DispatchQueue.h"

#include <QHash>
#include <QList>
#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>

namespace {

struct Removal {
    std::function<void()> work;
    bool done = false;
};
using RemovalPtr = std::shared_ptr<Removal>;

std::mutex g_mutex;
std::condition_variable g_finished;
QHash<QString, QList<RemovalPtr>> g_pending;

// A forked child has none of the threads that run the parent's removals: it must not wait
// for them, nor find the lock held by one.
void forgetInChild()
{
    static std::once_flag registered;
    std::call_once(registered, [] {
        ::pthread_atfork([] { g_mutex.lock(); }, [] { g_mutex.unlock(); },
                         [] {
                             g_pending = {};
                             g_mutex.unlock();
                         });
    });
}

// Runs on the pool; the task's next run only waits for it.
void run(const QString& task, const RemovalPtr& removal)
{
    removal->work();
    std::lock_guard lock(g_mutex);
    removal->done = true;
    removal->work = nullptr;
    auto it = g_pending.find(task);
    if (it != g_pending.end()) {
        it->removeOne(removal);
        if (it->isEmpty())
            g_pending.erase(it);
    }
    g_finished.notify_all();
}

} // namespace

void PendingRemovals::hand(const QString& task, std::function<void()> removal)
{
    forgetInChild();
    auto pending = std::make_shared<Removal>();
    pending->work = std::move(removal);
    {
        std::lock_guard lock(g_mutex);
        g_pending[task].append(pending);
    }
    DispatchQueue::background().async([task, pending] { run(task, pending); });
}

bool PendingRemovals::settle(const QString& task, const std::atomic<bool>& cancel, const std::function<void()>& waiting)
{
    QList<RemovalPtr> removals;
    {
        std::lock_guard lock(g_mutex);
        removals = g_pending.value(task);
    }
    if (removals.isEmpty())
        return true;
    if (waiting)
        waiting();
    // This thread only waits, so that a cancel can end the wait: the removals run on the pool,
    // from the jobs that hand() queued, and one more pool thread may start while this one sleeps.
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->releaseThread();
    bool settled = true;
    for (const RemovalPtr& removal : std::as_const(removals)) {
        std::unique_lock lock(g_mutex);
        while (!removal->done && !cancel)
            g_finished.wait_for(lock, std::chrono::milliseconds(100));
        if (!removal->done) {
            settled = false;
            break;
        }
    }
    pool->reserveThread();
    return settled;
}
