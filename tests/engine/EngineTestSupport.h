#pragma once

#include "FakeClock.h"
#include "DispatchQueue.h"
#include "TaskInfo.h"
#include "TaskInfoDelegate.h"

#include <QDateTime>
#include <QTest>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

// Records the tasks handed over on the GUI thread.
class RecordingTaskDelegate : public TaskInfoDelegate {
public:
    void startScheduledTask(const std::shared_ptr<TaskInfo>& task) override { started.push_back(task.get()); }
    std::vector<TaskInfo*> started;
};

// Runs everything already queued on the main queue.
inline void drainMainQueue()
{
    bool done = false;
    DispatchQueue::main().async([&done] { done = true; });
    EXPECT_TRUE(QTest::qWaitFor([&done] { return done; }, 5000));
}

inline QDateTime localTime(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}
