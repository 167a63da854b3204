#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// Runs one job per folder of a tree on a few threads: metadata work (unlinks, renames,
// permissions) in different folders goes side by side on the common file systems. A job
// adds the jobs of its subfolders; when many wait already, an added job runs at once on the
// thread that adds it, so few folders are held open.
class FolderJobs {
public:
    using Job = std::function<void(FolderJobs& jobs)>;

    // Runs `first` and every job it adds, on up to `threads` threads; returns when all are done.
    static void run(Job first, unsigned threads = 4);

    void add(Job job);

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Job> m_waiting;
    int m_busy = 0;
};
