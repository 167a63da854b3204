#include "FolderJobs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// Which thread ran the jobs of each worker index: one thread per index, or per-thread state
// (a copier's buffers) would be shared.
class ThreadsByIndex {
public:
    void note(const FolderJobs::Worker& worker)
    {
        std::lock_guard lock(m_mutex);
        const auto [it, added] = m_seen.emplace(worker.index(), std::this_thread::get_id());
        if (!added && it->second != std::this_thread::get_id())
            m_mixed = true;
    }
    bool mixed() const { return m_mixed; }
    unsigned highest() const { return m_seen.empty() ? 0 : m_seen.rbegin()->first; }

private:
    std::mutex m_mutex;
    std::map<unsigned, std::thread::id> m_seen;
    bool m_mixed = false;
};

} // namespace

TEST(FolderJobsTest, ThrowingJobsFailAloneAndTheRunStillEnds)
{
    // Any thread may run a throwing job, the calling one too: the run must neither hang nor
    // end the process, and every other job must run.
    FolderJobs jobs(4);
    ThreadsByIndex threads;
    std::atomic<int> ran { 0 };
    const FolderJobs::Failures failures = jobs.run([&](FolderJobs::Worker& worker) {
        threads.note(worker);
        for (int i = 0; i < 300; ++i) {
            worker.add([&, i](FolderJobs::Worker& next) {
                threads.note(next);
                if (i % 10 == 0)
                    throw std::runtime_error("job " + std::to_string(i));
                ++ran;
            });
        }
        throw std::runtime_error("first");
    });
    EXPECT_EQ(failures.count, 31);
    EXPECT_FALSE(failures.first.empty());
    EXPECT_EQ(ran.load(), 270);
    EXPECT_FALSE(threads.mixed());
    EXPECT_LT(threads.highest(), jobs.threads());
}

TEST(FolderJobsTest, OfferedJobsGoOnlyToIdleThreadsAndTheirFailuresStayInTheGroup)
{
    FolderJobs alone(1);
    const FolderJobs::Failures none = alone.run([](FolderJobs::Worker& worker) {
        FolderJobs::Group group(worker);
        EXPECT_FALSE(group.offer([](FolderJobs::Worker&) {})) << "no other thread to take it";
    });
    EXPECT_EQ(none.count, 0);

    FolderJobs jobs(2);
    if (jobs.threads() < 2)
        GTEST_SKIP() << "one processor: nothing is ever offered";
    ThreadsByIndex threads;
    int failedInGroup = -1;
    const FolderJobs::Failures failures = jobs.run([&](FolderJobs::Worker& worker) {
        threads.note(worker);
        FolderJobs::Group group(worker);
        while (!worker.othersIdle())
            std::this_thread::yield();
        int local = 0;   // lives in this job: the group's jobs are done before it goes
        std::atomic<bool> release { false };
        const bool offered = group.offer([&](FolderJobs::Worker& other) {
            threads.note(other);
            release.wait(false);
            ++local;
            throw std::runtime_error("offered");
        });
        ASSERT_TRUE(offered);
        // The only other thread has taken the first job or is about to: no one is left idle.
        EXPECT_FALSE(group.offer([](FolderJobs::Worker&) {}));
        release = true;
        release.notify_all();
        group.wait();   // runs the job itself if no other thread took it yet
        EXPECT_EQ(local, 1);
        failedInGroup = group.failures().count;
    });
    EXPECT_EQ(failedInGroup, 1);
    EXPECT_EQ(failures.count, 0) << "a failure of an offered job belongs to its group";
    EXPECT_FALSE(threads.mixed());
}

TEST(FolderJobsTest, TheFirstJobRunsOnTheCallersThreadAsWorkerZero)
{
    // A copier's first job works on the caller's own copier; a helper that took it would share
    // that copier's buffers with the caller, which later runs jobs as worker 0.
    const std::thread::id caller = std::this_thread::get_id();
    for (int round = 0; round < 200; ++round) {
        FolderJobs jobs(4);
        std::thread::id ranOn;
        unsigned index = 99;
        jobs.run([&](FolderJobs::Worker& worker) {
            ranOn = std::this_thread::get_id();
            index = worker.index();
        });
        ASSERT_EQ(ranOn, caller) << "round " << round;
        ASSERT_EQ(index, 0u);
    }
}
