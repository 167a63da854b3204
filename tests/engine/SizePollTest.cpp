#include "EngineTestSupport.h"

#include "CopyProgressDelegate.h"
#include "SizePoll.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(SizePoll, ReportsOnlyRisesAndCapsAfterComparing)
{
    SizePoll poll;
    auto t = poll.tick(400, 1000);
    EXPECT_TRUE(t.report);
    EXPECT_FLOAT_EQ(t.percentage, 40.0f);

    t = poll.tick(300, 1000);
    EXPECT_FALSE(t.report);
    EXPECT_FLOAT_EQ(t.percentage, 30.0f);

    t = poll.tick(1500, 1000);
    EXPECT_TRUE(t.report);
    EXPECT_FLOAT_EQ(t.percentage, 100.0f);

    // Still above the total: reported again, still capped.
    t = poll.tick(1200, 1000);
    EXPECT_TRUE(t.report);
    EXPECT_FLOAT_EQ(t.percentage, 100.0f);
}

TEST(SizePoll, ZeroTotal)
{
    SizePoll poll;
    EXPECT_FALSE(poll.tick(0, 0).report);
    const auto t = poll.tick(1, 0);
    EXPECT_TRUE(t.report);
    EXPECT_FLOAT_EQ(t.percentage, 100.0f);
}

namespace {
class RecordingProgress : public CopyProgressDelegate {
public:
    void copyProgress(float percentage) override
    {
        std::lock_guard lock(mutex);
        seen.push_back(percentage);
    }
    std::vector<float> snapshot()
    {
        std::lock_guard lock(mutex);
        return seen;
    }
    std::mutex mutex;
    std::vector<float> seen;
};
} // namespace

TEST(SizePoll, TaskPollReadsTheCopiedBytesCounter)
{
    RecordingProgress progress;
    auto task = TaskInfo::init();
    task->totalSize = 1000;
    task->copyProgressDelegate = &progress;
    task->copiedBytes = 400;
    task->startBackupSizeTimer(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !progress.snapshot().empty(); }, 5000));
    EXPECT_FLOAT_EQ(progress.snapshot().front(), 40.0f);

    task->copiedBytes = 1500;
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress.snapshot().back() == 100.0f; }, 5000));
    task->stopBackupSizeTimer();
    EXPECT_FALSE(task->backupSizeTimer);
    EXPECT_FLOAT_EQ(task->percentage.load(), 100.0f);

    for (float p : progress.snapshot())
        EXPECT_TRUE(p == 40.0f || p == 100.0f) << p;
}

TEST(SizePoll, RestorePollStopsToo)
{
    RecordingProgress progress;
    auto task = TaskInfo::init();
    task->totalSize = 10;
    task->copyProgressDelegate = &progress;
    task->copiedBytes = 5;
    task->startRestoreSizeTimer(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !progress.snapshot().empty(); }, 5000));
    EXPECT_FLOAT_EQ(progress.snapshot().front(), 50.0f);
    task->stopRestoreSizeTimer();
    EXPECT_FALSE(task->restoreSizeTimer);
}

TEST(FolderSize, MissingFileAndEmptyFolders)
{
    QTemporaryDir dir;
    EXPECT_EQ(TaskInfo::folderSize(dir.path() + "/missing"), 0);

    QFile f(dir.path() + "/one.bin");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(1234, 'x'));
    f.close();
    EXPECT_EQ(TaskInfo::folderSize(f.fileName()), 1234);

    QDir(dir.path()).mkpath("empty/a/b");
    QDir(dir.path()).mkpath("empty/c");
    EXPECT_EQ(TaskInfo::folderSize(dir.path() + "/empty"), 0);

    // Byte lengths of everything below, hidden files included; links are not followed.
    QFile hidden(dir.path() + "/empty/a/.hidden");
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    hidden.write("12345");
    hidden.close();
    ASSERT_TRUE(QFile::link(f.fileName(), dir.path() + "/empty/c/link"));
    const qint64 linkLength = f.fileName().toLocal8Bit().size(); // a link's own length is its target's name
    EXPECT_EQ(TaskInfo::folderSize(dir.path() + "/empty"), 5 + linkLength);
}
