#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Runs one job per folder of a tree on a few threads: metadata work (unlinks, renames,
// permissions) and copies in different folders go side by side on the common file systems.
// A running job passes the jobs of its subfolders on in one of two ways:
// - Worker::add queues a job for any thread; when many wait already it runs at once on the
//   adding thread, so few folders are held open;
// - Group::offer gives a job to a thread that has nothing to do, or leaves it to the caller;
//   the offering job then waits for its group, running waiting jobs meanwhile.
// A job that throws counts as failed (in its group, or in what run() returns); the others go on.
class FolderJobs {
public:
    class Worker;
    using Job = std::function<void(Worker& worker)>;

    struct Failures {
        int count = 0;
        std::string first;   // what the first failed job threw
    };

    // One of the threads running jobs, handed to each job it runs.
    class Worker {
    public:
        // 0 .. threads() - 1, the same for every job this thread runs; 0 is run()'s caller.
        unsigned index() const { return m_index; }
        void add(Job job);
        // Whether another thread waits for work: a cheap look before preparing an offer.
        bool othersIdle() const;

    private:
        friend class FolderJobs;
        Worker(FolderJobs& jobs, unsigned index) : m_jobs(&jobs), m_index(index) {}
        FolderJobs* m_jobs;
        unsigned m_index;
    };

    // The jobs one job offered, and that it waits for before it goes on or ends. It waits at
    // the latest when the group goes out of scope, so no job outlives what it refers to.
    class Group {
    public:
        explicit Group(Worker& worker) : m_worker(worker) {}
        ~Group() { wait(); }
        Group(const Group&) = delete;
        Group& operator=(const Group&) = delete;

        // Queues the job when a thread is idle to take it; false (and nothing queued) otherwise.
        bool offer(Job job);
        // Returns when every job offered so far is done; runs waiting jobs (of any group) meanwhile.
        void wait();
        // The offered jobs that threw; complete once wait() returned.
        const Failures& failures() const { return m_failures; }

    private:
        friend class FolderJobs;
        Worker& m_worker;
        int m_pending = 0;     // guarded by the jobs' mutex
        bool m_offered = false; // the offering thread's own: spares the lock when nothing was offered
        Failures m_failures;
    };

    explicit FolderJobs(unsigned threads = 4);
    FolderJobs(const FolderJobs&) = delete;
    FolderJobs& operator=(const FolderJobs&) = delete;

    // How many threads run() uses, its caller included.
    unsigned threads() const { return unsigned(m_workers.size()); }
    // Runs `first` and every job added since on the caller's thread and threads() - 1 others;
    // returns when all are done, with the jobs outside a group that threw. Once per object.
    Failures run(Job first);

private:
    struct Entry {
        Job job;
        Group* group;   // null: added, not offered
    };

    void work(Worker& worker);
    // Runs the last waiting entry; the lock is held again on return.
    void runWaiting(std::unique_lock<std::mutex>& lock, Worker& worker);
    // Runs the job; false with `error` set when it threw.
    static bool invoke(const Job& job, Worker& worker, std::string* error);
    static void record(Failures& failures, std::string error);
    // Waits for a change while nothing waits to be run; the lock is held.
    void idle(std::unique_lock<std::mutex>& lock);

    std::vector<Worker> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;   // a job queued, a group done, or all done
    std::vector<Entry> m_waiting;
    int m_busy = 0;
    std::atomic<int> m_idle { 0 };
    Failures m_failures;
};
