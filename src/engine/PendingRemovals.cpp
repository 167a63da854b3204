#include "PendingRemovals.h"

#include "DispatchQueue.h"

#include <QHash>
#include <QList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>

namespace {

struct Removal {
    std::function<void()> work;
    bool started = false;
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

// Runs the removal unless someone else took it; whoever comes first does the work.
void runIfFirst(const QString& task, const RemovalPtr& removal)
{
    {
        std::lock_guard lock(g_mutex);
        if (removal->started)
            return;
        removal->started = true;
    }
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
    DispatchQueue::background().async([task, pending] { runIfFirst(task, pending); });
}

void PendingRemovals::settle(const QString& task)
{
    QList<RemovalPtr> removals;
    {
        std::lock_guard lock(g_mutex);
        removals = g_pending.value(task);
    }
    for (const RemovalPtr& removal : std::as_const(removals)) {
        runIfFirst(task, removal);
        std::unique_lock lock(g_mutex);
        g_finished.wait(lock, [&removal] { return removal->done; });
    }
}
