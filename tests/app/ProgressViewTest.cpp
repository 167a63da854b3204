#include "Controls.h"
#include "ProgressView.h"
#include "ProgressViewDelegate.h"
#include "ElidedLabel.h"
#include "customizeButton.h"

#include <QLabel>
#include <QLoggingCategory>
#include <QPointer>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace {
class FakeMainWindow : public ProgressViewDelegate {
public:
    QSettings settings;
    QList<int> otbIntervals;
    int removals = 0;
    QSettings* defaults() override { return &settings; }
    void startOtbTimer(int intervalMs) override { otbIntervals << intervalMs; }
    void removePartialArchive() override { ++removals; }
};

QStringList g_lines;
void collect(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    if (QByteArray(context.category) == "zorvi.progress")
        g_lines << message;
}
} // namespace

TEST(ProgressView, PercentDisplayRules)
{
    ProgressView v;
    v.updateProgress(150);
    EXPECT_DOUBLE_EQ(v.barValue(), 99.8);
    EXPECT_EQ(v.progressText(), QStringLiteral("150.0%"));

    v.updateProgress(100);
    EXPECT_DOUBLE_EQ(v.barValue(), 100.0);
    EXPECT_EQ(v.progressText(), QStringLiteral("100.0%"));

    v.updateProgress(100.3f);
    EXPECT_DOUBLE_EQ(v.barValue(), 99.8);
    EXPECT_EQ(v.progressText(), QStringLiteral("100.3%"));

    v.updateProgress(42.26f);
    EXPECT_DOUBLE_EQ(v.barValue(), 42.3);
    EXPECT_EQ(v.progressText(), QStringLiteral("42.3%"));

    // Nonsense values keep the bar in range; the label tells what came.
    v.updateProgress(-5);
    EXPECT_DOUBLE_EQ(v.barValue(), 0.0);
    EXPECT_EQ(v.progressText(), QStringLiteral("-5.0%"));
    v.updateProgress(std::numeric_limits<float>::quiet_NaN());
    EXPECT_DOUBLE_EQ(v.barValue(), 0.0);
}

TEST(ProgressView, FractionDisplayRules)
{
    ProgressView v;
    v.updateProgressFraction(0.25f);
    EXPECT_DOUBLE_EQ(v.barValue(), 25.0);
    EXPECT_EQ(v.progressText(), QStringLiteral("25.0%"));
    v.updateProgressFraction(1.5f);
    EXPECT_DOUBLE_EQ(v.barValue(), 100.0);
    EXPECT_EQ(v.progressText(), QStringLiteral("150.0%"));
}

TEST(ProgressView, UpdatesFromOtherThreadsReachTheBar)
{
    ProgressView v;
    std::thread poller([&] { v.copyProgress(42.0f); });
    poller.join();
    EXPECT_DOUBLE_EQ(v.barValue(), 0.0); // nothing touched the widgets off the GUI thread
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.progressText() == QStringLiteral("42.0%"); }));
    EXPECT_DOUBLE_EQ(v.barValue(), 42.0);

    std::thread archiver([&] { v.onLzmaSDKObjCReader(nullptr, 0.5f); });
    archiver.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.progressText() == QStringLiteral("50.0%"); }));
    EXPECT_DOUBLE_EQ(v.barValue(), 50.0);
}

TEST(ProgressView, ArchiveCallbacksPrintTheirLines)
{
    QLoggingCategory::setFilterRules(QStringLiteral("zorvi.progress.debug=true"));
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    {
        ProgressView v;
        v.onLzmaSDKObjCWriter(nullptr, 0.25f);
        v.onLzmaSDKObjCReader(nullptr, 1.0f / 3.0f);
        ASSERT_TRUE(QTest::qWaitFor([&] { return v.progressText() == QStringLiteral("33.3%"); }));
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    EXPECT_EQ(g_lines, (QStringList { "Writer progress: 25.0 %", "Reader progress: 33.333336 %" }));
}

TEST(ProgressView, LateUpdatesAfterCloseOrDestructionAreHarmless)
{
    auto* v = new ProgressView;
    v->show();
    QTest::mouseClick(control<customizeButton>(v, "cancelBtn"), Qt::LeftButton);
    ASSERT_FALSE(v->isVisible());
    std::thread late([v] { v->copyProgress(80); v->onLzmaSDKObjCWriter(nullptr, 0.9f); });
    late.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->progressText() == QStringLiteral("90.0%"); }));

    // Updates still queued when the window goes are dropped.
    v->copyProgress(10);
    delete v;
    QCoreApplication::processEvents();
    SUCCEED();
}

TEST(ProgressView, CancelDuringBackupStopsTheTaskAndRestartsOtbPolling)
{
    FakeMainWindow main;
    main.settings.setValue(QStringLiteral("IsRunningOTB"), true);
    ProgressView v;
    v.taskInfo = TaskInfo::init();
    v.progressDelegate = &main;
    v.show();
    QTest::mouseClick(control<customizeButton>(v, "cancelBtn"), Qt::LeftButton);
    EXPECT_TRUE(v.taskInfo->BackupRestoreCancel.load());
    EXPECT_EQ(main.otbIntervals, QList<int> { 300 });
    EXPECT_EQ(main.removals, 1);
    EXPECT_FALSE(v.isVisible());
    main.settings.remove(QStringLiteral("IsRunningOTB"));
}

TEST(ProgressView, ABackupWindowNamesItsTaskBesideTheFixedTitle)
{
    ProgressView backup;
    backup.titleString = QStringLiteral("Backup");
    backup.statusString = QStringLiteral("Backup Processing...");
    backup.taskInfo = TaskInfo::init();
    backup.taskInfo->taskName = QStringLiteral("Photos 2024");
    backup.show();
    EXPECT_EQ(control<QLabel>(backup, "titleLabel")->text(), QStringLiteral("Backup"));
    EXPECT_EQ(control<ElidedLabel>(backup, "taskNameLabel")->text(), QStringLiteral("\"Photos 2024\""));
    EXPECT_TRUE(control<ElidedLabel>(backup, "taskNameLabel")->isVisible());
    EXPECT_EQ(backup.windowTitle(), QStringLiteral("Backup \"Photos 2024\""));

    ProgressView restore; // restores and Security runs carry no task
    restore.titleString = QStringLiteral("Restore");
    restore.show();
    EXPECT_FALSE(control<ElidedLabel>(restore, "taskNameLabel")->isVisible());
    EXPECT_EQ(restore.windowTitle(), QStringLiteral("Restore"));
}

TEST(ProgressView, CancelWithoutOtbOrTaskOrDelegate)
{
    FakeMainWindow main;
    main.settings.setValue(QStringLiteral("IsRunningOTB"), false);
    ProgressView withTask;
    withTask.taskInfo = TaskInfo::init();
    withTask.progressDelegate = &main;
    withTask.show();
    withTask.cancelTask();
    EXPECT_TRUE(withTask.taskInfo->BackupRestoreCancel.load());
    EXPECT_TRUE(main.otbIntervals.isEmpty());
    EXPECT_EQ(main.removals, 1);

    // A restore or Security run: no task to stop, the partial output still goes.
    main.settings.setValue(QStringLiteral("IsRunningOTB"), true);
    ProgressView noTask;
    noTask.progressDelegate = &main;
    noTask.show();
    noTask.cancelTask();
    EXPECT_TRUE(main.otbIntervals.isEmpty());
    EXPECT_EQ(main.removals, 2);
    EXPECT_FALSE(noTask.isVisible());

    ProgressView alone;
    alone.taskInfo = TaskInfo::init();
    alone.show();
    alone.cancelTask();
    EXPECT_FALSE(alone.taskInfo->BackupRestoreCancel.load());
    EXPECT_FALSE(alone.isVisible());
    main.settings.remove(QStringLiteral("IsRunningOTB"));
}

TEST(ProgressView, OnlyCancelCloses)
{
    FakeMainWindow main;
    ProgressView v;
    v.progressDelegate = &main;
    v.titleString = QStringLiteral("Backup");
    v.statusString = QStringLiteral("Backup Processing...");
    v.imagePath = QStringLiteral("ic_log_backup");
    v.show();
    EXPECT_EQ(control<QLabel>(v, "titleLabel")->text(), QStringLiteral("Backup"));
    EXPECT_EQ(control<QLabel>(v, "statusLabel")->text(), QStringLiteral("Backup Processing..."));
    EXPECT_EQ(control<QLabel>(v, "image")->property("imageName").toString(), QStringLiteral("ic_log_backup"));
    EXPECT_FALSE(v.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(v.minimumSize(), v.maximumSize());
    EXPECT_FALSE(v.close());
    QTest::keyClick(&v, Qt::Key_Escape);
    EXPECT_TRUE(v.isVisible());
    EXPECT_EQ(main.removals, 0);
}
