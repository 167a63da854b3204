#include "DispatchQueue.h"
#include "DispatchTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <vector>

using namespace std::chrono_literals;

namespace {
// Waits on the GUI thread with its event loop running, so main-queue blocks can run.
bool waitUntil(const std::function<bool()>& done, int ms = 3000)
{
    return QTest::qWaitFor(done, ms);
}
} // namespace

TEST(DispatchQueue, MainRunsOnGuiThreadLater)
{
    bool ran = false;
    QThread* where = nullptr;
    DispatchQueue::main().async([&] { ran = true; where = QThread::currentThread(); });
    EXPECT_FALSE(ran) << "a queued block must not run inside async()";
    ASSERT_TRUE(waitUntil([&] { return ran; }));
    EXPECT_EQ(where, qApp->thread());
    EXPECT_TRUE(DispatchQueue::main().isCurrent());
}

TEST(DispatchQueue, BackgroundRunsOffTheGuiThread)
{
    std::atomic<QThread*> where { nullptr };
    std::atomic<bool> current { false };
    DispatchQueue::background().async([&] {
        current = DispatchQueue::background().isCurrent();
        where = QThread::currentThread();
    });
    ASSERT_TRUE(waitUntil([&] { return where.load() != nullptr; }));
    EXPECT_NE(where.load(), qApp->thread());
    EXPECT_TRUE(current.load());
}

TEST(DispatchQueue, SameLabelSharesOneThreadAndKeepsOrder)
{
    DispatchQueue& a = DispatchQueue::serial("test.order");
    DispatchQueue& b = DispatchQueue::serial("test.order");
    EXPECT_EQ(&a, &b);
    EXPECT_NE(&a, &DispatchQueue::serial("test.other"));

    std::mutex m;
    std::vector<int> seen;
    std::set<QThread*> threads;
    for (int i = 0; i < 200; ++i) {
        (i % 2 ? a : b).async([&, i] {
            std::lock_guard lock(m);
            seen.push_back(i);
            threads.insert(QThread::currentThread());
        });
    }
    ASSERT_TRUE(waitUntil([&] { std::lock_guard lock(m); return seen.size() == 200; }));
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(seen[i], i);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_FALSE(threads.count(qApp->thread()));
}

TEST(DispatchTimer, FirstDeadlineThenInterval)
{
    DispatchTimer timer(DispatchQueue::serial("test.timer"));
    std::mutex m;
    std::vector<qint64> ticks;
    QElapsedTimer clock;
    timer.setHandler([&] {
        std::lock_guard lock(m);
        ticks.push_back(clock.elapsed());
        EXPECT_TRUE(DispatchQueue::serial("test.timer").isCurrent());
    });
    timer.schedule(150ms, 20ms);
    clock.start();
    timer.resume();
    ASSERT_TRUE(waitUntil([&] { std::lock_guard lock(m); return ticks.size() >= 4; }));
    timer.cancel();
    std::lock_guard lock(m);
    EXPECT_GE(ticks[0], 140) << "the first tick waits for the first deadline";
    EXPECT_LT(ticks[1] - ticks[0], 140) << "later ticks follow the interval";
}

TEST(DispatchTimer, ZeroDeadlineFiresAtOnce)
{
    DispatchTimer timer(DispatchQueue::main());
    int ticks = 0;
    timer.setHandler([&] { ++ticks; });
    timer.schedule(0ms, 60s);
    timer.resume();
    ASSERT_TRUE(waitUntil([&] { return ticks == 1; }, 1000));
}

TEST(DispatchTimer, NothingFiresBeforeResumeOrAfterCancel)
{
    std::atomic<int> ticks { 0 };
    {
        DispatchTimer timer(DispatchQueue::serial("test.cancel"));
        timer.setHandler([&] { ++ticks; });
        timer.schedule(0ms, 5ms);
        QTest::qWait(50);
        EXPECT_EQ(ticks.load(), 0) << "a timer that was never resumed must not fire";
        timer.resume();
        ASSERT_TRUE(waitUntil([&] { return ticks.load() >= 2; }));
        timer.cancel();
        EXPECT_TRUE(timer.isCancelled());
        QTest::qWait(30);
        const int after = ticks.load();
        QTest::qWait(60);
        EXPECT_EQ(ticks.load(), after);
    }
    // Destroying a running timer stops it too.
    ticks = 0;
    {
        DispatchTimer timer(DispatchQueue::serial("test.cancel"));
        timer.setHandler([&] { ++ticks; });
        timer.schedule(0ms, 5ms);
        timer.resume();
        ASSERT_TRUE(waitUntil([&] { return ticks.load() >= 1; }));
    }
    QTest::qWait(30);
    const int after = ticks.load();
    QTest::qWait(60);
    EXPECT_EQ(ticks.load(), after);
}

TEST(DispatchTimer, RescheduleReplacesTheOldSchedule)
{
    DispatchTimer timer(DispatchQueue::main());
    int ticks = 0;
    timer.setHandler([&] { ++ticks; });
    timer.schedule(10s, 10s);
    timer.resume();
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
    timer.schedule(0ms, 10s);
    ASSERT_TRUE(waitUntil([&] { return ticks == 1; }, 1000));
}

// Last in this file: after shutdown() no serial queue runs anything in this process.
TEST(DispatchQueue, QueuesOutliveShutdownForWhatIsDestroyedAfterIt)
{
    DispatchQueue& queue = DispatchQueue::serial("test.shutdown");
    std::atomic<int> ticks { 0 };
    auto timer = std::make_unique<DispatchTimer>(queue);
    timer->setHandler([&] { ++ticks; });
    timer->schedule(0ms, 5ms);
    timer->resume();
    ASSERT_TRUE(waitUntil([&] { return ticks.load() >= 1; }));

    DispatchQueue::shutdown();
    // Windows destroyed after the event loop still cancel their timers on these queues.
    EXPECT_EQ(&DispatchQueue::serial("test.shutdown"), &queue);
    EXPECT_EQ(queue.context(), nullptr);
    timer.reset();

    // A block for a stopped queue, or one first asked for now, is dropped where it is queued.
    for (DispatchQueue* q : { &queue, &DispatchQueue::serial("test.after-shutdown") }) {
        auto kept = std::make_shared<int>(0);
        bool ran = false;
        q->async([kept, &ran] { ran = true; });
        EXPECT_EQ(kept.use_count(), 1);
        EXPECT_FALSE(ran);
        EXPECT_EQ(q->context(), nullptr);
    }
    DispatchQueue::shutdown();
}
