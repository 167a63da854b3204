// The task-action dispatcher with fake windows, pages and message presenter.
#include "EngineTestSupport.h"
#include "TaskRunFakes.h"

#include "ExternalVolumes.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class TaskDispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(TaskController::taskListFolder()).removeRecursively();
        ExternalVolumes::setOverride(std::nullopt, QStringList {});
    }
    void TearDown() override { ExternalVolumes::setOverride(std::nullopt, std::nullopt); }

    QStringList names(const QList<TaskInfoPtr>& tasks)
    {
        QStringList n;
        for (const auto& t : tasks)
            n << t->taskName;
        return n;
    }
    WiredController w;
    TaskController& c = w.controller;
    QTemporaryDir tmp;
};

TEST_F(TaskDispatch, DuplicateNameMainButtonReplacesInPlaceAndStopsOldTimer)
{
    auto a = plainTask("A", { "/src/a" }, "/dest", "Daily");
    auto b = plainTask("B", { "/src/b" }, "/dest");
    c.TaskArray = { a, b };
    ASSERT_NE(a->scheduleTimer, nullptr);

    auto edited = plainTask("A", { "/src/other" }, "/dest2");
    c.runTask(edited, "Add", true);
    // Asked, nothing changed yet.
    ASSERT_EQ(w.presenter.shown.size(), 1u);
    EXPECT_EQ(w.presenter.shown[0].title, "Information");
    EXPECT_EQ(w.presenter.shown[0].imageName, "ic_log_info");
    EXPECT_EQ(w.presenter.shown[0].message,
              "Task name already exists. Do you want to replace the existing task with the new one?");
    EXPECT_TRUE(w.presenter.shown[0].showSecondBtn);
    EXPECT_EQ(w.presenter.shown[0].mainButtonTitle, "Replace");
    EXPECT_EQ(w.presenter.shown[0].secondButtonTitle, "Keep Both");
    EXPECT_TRUE(w.presenter.shown[0].closingCancels);
    EXPECT_EQ(w.presenter.delegates[0], &c);
    EXPECT_EQ(c.TaskArray, (QList<TaskInfoPtr> { a, b }));
    EXPECT_FALSE(QFile::exists(TaskController::taskListPath()));

    c.btnClicked(0);
    EXPECT_FALSE(c.duplicateNameIssue);
    ASSERT_EQ(c.TaskArray.size(), 2);
    EXPECT_EQ(c.TaskArray[0], edited);
    EXPECT_EQ(c.TaskArray[1], b);
    EXPECT_EQ(a->scheduleTimer, nullptr);
    EXPECT_EQ(edited->taskInfoDelegate, &c);
    const auto saved = w.saved();
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0]->backupSrc, QStringList { "/src/other" });
    EXPECT_EQ(w.backupPage.names(), (QStringList { "A", "B" }));
    EXPECT_TRUE(w.windows.sheets.empty());
}

TEST_F(TaskDispatch, DuplicateNameSecondButtonAddsCopyAndAsksAgainOnASecondClash)
{
    c.TaskArray = { plainTask("A", { "/s" }, "/d"), plainTask("A_copy", { "/s" }, "/d") };
    c.runTask(plainTask("A", { "/n" }, "/d"), "Add", true);
    ASSERT_EQ(w.presenter.shown.size(), 1u);
    c.btnClicked(1); // "A_copy" exists too: asked again
    ASSERT_EQ(w.presenter.shown.size(), 2u);
    EXPECT_TRUE(c.duplicateNameIssue);
    EXPECT_EQ(c.TaskArray.size(), 2);
    c.btnClicked(1);
    EXPECT_EQ(names(c.TaskArray), (QStringList { "A", "A_copy", "A_copy_copy" }));
    EXPECT_EQ(names(w.saved()), (QStringList { "A", "A_copy", "A_copy_copy" }));
    // Answers with no question open change nothing.
    c.btnClicked(0);
    c.btnClicked(7);
    EXPECT_EQ(c.TaskArray.size(), 3);
}

TEST_F(TaskDispatch, DismissingTheDuplicateQuestionChangesNothing)
{
    auto a = plainTask("A", { "/s" }, "/d", "Daily");
    c.TaskArray = { a };
    for (const QString action : { "Add", "AddDo" }) {
        c.runTask(plainTask("A", { "/n" }, "/d2"), action, true);
        ASSERT_TRUE(c.duplicateNameIssue);
        c.messageDismissed();
        EXPECT_FALSE(c.duplicateNameIssue);
        // A later answer to some other message must not act on the closed question.
        c.btnClicked(0);
        c.btnClicked(1);
        EXPECT_EQ(c.TaskArray, QList<TaskInfoPtr> { a }) << action.toStdString();
        EXPECT_NE(a->scheduleTimer, nullptr);
        EXPECT_TRUE(c.executingTasks.isEmpty());
    }
    EXPECT_EQ(w.presenter.shown.size(), 2u);
    EXPECT_TRUE(w.windows.sheets.empty());
    EXPECT_FALSE(QFile::exists(TaskController::taskListPath()));
}

TEST_F(TaskDispatch, OtherAnswersLeaveTheQuestionOpenAndOtbPollingRestartsOnEveryAnswer)
{
    c.TaskArray = { plainTask("A", { "/s" }, "/d") };
    c.runTask(plainTask("A", { "/n" }, "/d"), "Add", true);
    c.btnClicked(5);
    EXPECT_TRUE(c.duplicateNameIssue);
    EXPECT_TRUE(w.windows.otbStarts.isEmpty());
    QSettings().setValue("IsRunningOTB", true);
    c.btnClicked(5);
    QSettings().remove("IsRunningOTB");
    EXPECT_EQ(w.windows.otbStarts, QList<int> { 300 });
}

TEST_F(TaskDispatch, AddAppendsSavesAndRefreshes)
{
    auto a = plainTask("A", { "/s" }, "/d");
    c.runTask(a, "Add", true);
    EXPECT_EQ(c.TaskArray.size(), 1);
    EXPECT_EQ(c.TaskArray[0]->taskInfoDelegate, &c);
    EXPECT_EQ(names(w.saved()), QStringList { "A" });
    EXPECT_EQ(w.backupPage.resets, 1);
    EXPECT_EQ(w.otbPage.names(), QStringList { "A" });
    EXPECT_TRUE(w.restorePage.data.isEmpty()); // never backed up
    EXPECT_TRUE(w.windows.sheets.empty());
    EXPECT_TRUE(c.executingTasks.isEmpty());
}

TEST_F(TaskDispatch, UnknownNamesAndWordsDoNothing)
{
    auto a = plainTask("A", { "/s" }, "/d", "Daily");
    auto b = plainTask("B", { "/s" }, "/d");
    c.TaskArray = { a, b };
    const auto before = c.TaskArray;
    for (const QString word : { "Modify", "ModifyDo", "Backup", "ScheduleBackup", "Restore", "add", "" })
        c.runTask(plainTask("Nobody", { "/x" }, "/y"), word, true);
    c.runTask(nullptr, "Add", true);
    c.runTask(nullptr, "Backup", true);
    c.runTask(nullptr, "Delete", true);
    EXPECT_EQ(c.TaskArray, before);
    EXPECT_NE(a->scheduleTimer, nullptr);
    EXPECT_TRUE(w.windows.sheets.empty());
    EXPECT_TRUE(c.executingTasks.isEmpty());
    EXPECT_TRUE(w.presenter.shown.empty());

    // A deleted task's own schedule hand-off runs nothing either (it used to run task 0).
    c.startScheduledTask(plainTask("Gone", { "/s" }, "/d"));
    EXPECT_TRUE(w.windows.sheets.empty());
    EXPECT_TRUE(c.executingTasks.isEmpty());
    EXPECT_EQ(a->backupStatus, 0);
}

TEST_F(TaskDispatch, DeleteRemovesEveryTaskOfThatNameAndStopsTheirSchedules)
{
    auto a1 = plainTask("A", { "/s" }, "/d", "Daily");
    auto b = plainTask("B", { "/s" }, "/d");
    auto a2 = plainTask("A", { "/t" }, "/d", "Weekly");
    c.TaskArray = { a1, b, a2 };
    c.runTask(plainTask("A", {}, "/d"), "Delete", true);
    EXPECT_EQ(c.TaskArray, QList<TaskInfoPtr> { b });
    EXPECT_EQ(a1->scheduleTimer, nullptr);
    EXPECT_EQ(a2->scheduleTimer, nullptr);
    EXPECT_EQ(names(w.saved()), QStringList { "B" });
    EXPECT_EQ(w.backupPage.names(), QStringList { "B" });
}

TEST_F(TaskDispatch, ModifyReplacesInPlaceWithoutRunning)
{
    auto a = plainTask("A", { "/s" }, "/d", "Daily");
    auto b = plainTask("B", { "/s" }, "/d");
    c.TaskArray = { a, b };
    auto edited = plainTask("B", { "/new" }, "/d");
    c.runTask(edited, "Modify", true);
    EXPECT_EQ(c.TaskArray, (QList<TaskInfoPtr> { a, edited }));
    EXPECT_EQ(edited->taskInfoDelegate, &c);
    EXPECT_NE(a->scheduleTimer, nullptr);
    EXPECT_EQ(w.saved()[1]->backupSrc, QStringList { "/new" });
    EXPECT_TRUE(w.windows.sheets.empty());
}

TEST_F(TaskDispatch, UpdateRefreshesThePagesAndSavesNothing)
{
    auto a = plainTask("A", { "/s" }, "/d");
    auto b = plainTask("B", { "/s" }, "/d");
    auto f = plainTask("F", { "/s" }, "/d");
    auto d = plainTask("D", { "/s" }, "/d");
    b->backupStatus = 1;
    f->backupStatus = -1;
    d->backupStatus = 1;
    c.TaskArray = { a, b, f, d };
    c.runTask(nullptr, "Update", true);
    EXPECT_FALSE(QFile::exists(TaskController::taskListPath()));
    EXPECT_EQ(w.backupPage.names(), (QStringList { "A", "B", "F", "D" }));
    EXPECT_EQ(w.otbPage.names(), (QStringList { "A", "B", "F", "D" }));
    EXPECT_EQ(w.restorePage.names(), (QStringList { "B", "D" }));
    EXPECT_EQ(c.tableData, c.TaskArray);
    EXPECT_EQ(w.backupPage.resets, 1);
    EXPECT_EQ(w.backupPage.reloads, 0);
    EXPECT_EQ(w.restorePage.reloads, 1);
    EXPECT_EQ(w.otbPage.reloads, 1);

    // The keep-selection refresh reloads the Backup page without resetting it.
    c.refreshTaskListsKeepSelection();
    EXPECT_EQ(w.backupPage.resets, 1);
    EXPECT_EQ(w.backupPage.reloads, 1);

    // Pages not wired yet are skipped.
    c.BackupView = c.RestoreView = c.OtbView = nullptr;
    c.refreshTaskLists();
}

TEST_F(TaskDispatch, AddDoOfANameStillRunningAddsNothing)
{
    auto running = plainTask("A", { "/s" }, "/d");
    c.executingTasks << running; // its task was deleted from the list meanwhile
    c.runTask(plainTask("A", { "/s" }, "/d"), "AddDo", true);
    EXPECT_TRUE(c.TaskArray.isEmpty());
    EXPECT_TRUE(w.windows.sheets.empty());
    EXPECT_EQ(c.executingTasks.size(), 1);
    EXPECT_EQ(w.windows.events, QStringList { "Common Action/Do Backup (immediately)/" });
}

TEST_F(TaskDispatch, FilesInUseAreRefusedForAnUnnamedTask)
{
    const QString src = tmp.path() + "/src";
    const QString dst = tmp.path() + "/dst";
    QDir().mkpath(src + "/inner");
    QDir().mkpath(dst + "/Run");
    QDir().mkpath(tmp.path() + "/files");
    QFile file(tmp.path() + "/files/loose.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    auto running = plainTask("Run", { src, tmp.path() + "/files/loose.txt" }, dst);
    ASSERT_TRUE(c.checkFilesInUse(running));
    EXPECT_EQ(c.executingTasks, QList<TaskInfoPtr> { running });

    const auto item = [](const QString& path) { return plainTask("", {}, path); };
    // Inside a source folder, holding a source, inside the output folder: refused.
    for (const QString& p : { src + "/inner", src, tmp.path() + "/src/inner/x.txt", dst + "/Run/a", dst }) {
        w.presenter.shown.clear();
        EXPECT_FALSE(c.checkFilesInUse(item(p))) << p.toStdString();
        ASSERT_EQ(w.presenter.shown.size(), 1u) << p.toStdString();
        EXPECT_EQ(w.presenter.shown[0].message, "Execution failed, because the file is currently in use");
        EXPECT_EQ(w.presenter.shown[0].imageName, "ic_log_fail");
        EXPECT_FALSE(w.presenter.shown[0].showSecondBtn);
    }
    // A file source stands for its folder: its siblings count as in use.
    w.presenter.shown.clear();
    EXPECT_FALSE(c.checkFilesInUse(item(tmp.path() + "/files/other.txt")));
    // A sibling of a used folder whose name merely starts the same is not in use.
    w.presenter.shown.clear();
    EXPECT_TRUE(c.checkFilesInUse(item(tmp.path() + "/src2")));
    QTemporaryDir elsewhere;
    EXPECT_TRUE(c.checkFilesInUse(item(elsewhere.path() + "/file")));
    EXPECT_TRUE(w.presenter.shown.empty());
    EXPECT_EQ(c.executingTasks.size(), 1); // unnamed tasks are never listed

    // The same named task again is refused silently.
    EXPECT_FALSE(c.checkFilesInUse(plainTask("Run", {}, "/elsewhere")));
    EXPECT_TRUE(w.presenter.shown.empty());
    c.removeExecutingTask(running);
    EXPECT_TRUE(c.executingTasks.isEmpty());
    c.removeExecutingTask(running); // nothing left to remove
}

} // namespace
