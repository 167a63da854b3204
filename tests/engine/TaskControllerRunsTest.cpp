// Backup and restore runs from the dispatcher to the saved list, on real temporary folders,
// with fake windows.
#include "EarlierBuildList.h"
#include "EngineTestSupport.h"
#include "FailPointHold.h"
#include "TaskRunFakes.h"
#include "TestFiles.h"

#include "ExternalVolumes.h"
#include "UtilityFunctions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TaskRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(TaskController::taskListFolder()).removeRecursively();
        ExternalVolumes::setOverride(std::nullopt, QStringList {});
        writeFile(src() + "/a.txt", "alpha");
        writeFile(src() + "/sub/b.txt", "beta");
        QDir().mkpath(dest());
    }
    void TearDown() override { ExternalVolumes::setOverride(std::nullopt, std::nullopt); }

    QString src() const { return tmp.path() + "/home/docs"; }
    QString dest() const { return tmp.path() + "/drive"; }
    TaskInfoPtr task(const QString& name, qint64 mode = 1, const QString& schedule = "None")
    {
        auto t = plainTask(name, { src() }, dest(), schedule, mode);
        t->taskInfoDelegate = &c;
        return t;
    }
    // Waits until every admitted run has finished on the GUI thread.
    bool waitForRuns(std::size_t messages)
    {
        return QTest::qWaitFor([&] { return c.executingTasks.isEmpty() && w.presenter.shown.size() >= messages; },
                               60000);
    }
    TaskInfoPtr savedTask(const QString& name)
    {
        for (const auto& t : w.saved())
            if (t->taskName == name)
                return t;
        return nullptr;
    }

    // A card with its identity and one photo, mounted at media/<name>.
    QString card(const QString& name, const QByteArray& identity, const QByteArray& photo)
    {
        const QString root = media() + "/" + name;
        writeFile(root + "/Zorvi.txt", identity);
        writeFile(root + "/DCIM/IMG_0001.JPG", photo);
        return root;
    }
    QString media() const { return tmp.path() + "/media"; }
    void mount(const QStringList& roots) { ExternalVolumes::setOverride(QStringList { media() }, roots); }
    // The task as the editor saves an edit of `before` to these sources.
    static TaskInfoPtr editOf(const TaskInfoPtr& before, const QStringList& sources)
    {
        auto edited = plainTask(before->taskName, sources, before->backupDest, "None", before->function);
        edited->keepFixedSourcesOf(*before, true);
        return edited;
    }
    // Restore as the Restore page asks for it, with the password when the task has one.
    void restore(const QString& name)
    {
        c.restoreTask(c.findTask(name), "Restore");
        if (c.findTask(name)->function == 3) {
            c.restoreWithPassword("");
            c.restorePasswordPromptClosed();
        }
    }

    // The restore's message, once its run has finished.
    QString restoreSays(const QString& name)
    {
        const std::size_t before = w.presenter.shown.size();
        restore(name);
        return waitForRuns(before + 1) ? w.presenter.shown.back().message : QString();
    }

    QTemporaryDir tmp;
    WiredController w;
    TaskController& c = w.controller;
};

class TaskRunsOfArchives : public TaskRuns, public ::testing::WithParamInterface<qint64> {};

TEST_F(TaskRuns, BackupFromRunTaskToTheSavedStatusDateAndMessage)
{
    c.TaskArray = { task("Docs") };
    c.runTask(c.TaskArray[0], "Backup", true);

    ASSERT_EQ(w.windows.sheets.size(), 1u);
    const auto sheet = w.windows.sheets[0];
    EXPECT_EQ(sheet->title, "Backup");
    EXPECT_EQ(sheet->imageName, "ic_log_backup");
    EXPECT_EQ(sheet->status, "Backup Processing...");
    // Cancel reaches the engine's own record of the task, not the listed one.
    ASSERT_TRUE(sheet->task);
    EXPECT_EQ(sheet->task->taskName, "Docs");
    EXPECT_NE(sheet->task, c.TaskArray[0]);
    EXPECT_EQ(c.currentBackupRestoreTask, sheet->task);
    EXPECT_EQ(c.executingTasks.size(), 1);
    EXPECT_EQ(w.windows.events, QStringList { "Common Action/Do Backup/" });

    ASSERT_TRUE(waitForRuns(1));
    ASSERT_EQ(w.presenter.shown.size(), 1u);
    EXPECT_EQ(w.presenter.shown[0].title, "Information");
    EXPECT_EQ(w.presenter.shown[0].imageName, "ic_log_success");
    EXPECT_EQ(w.presenter.shown[0].message, "\"Docs\" backup complete");
    EXPECT_FALSE(w.presenter.shown[0].showSecondBtn);
    EXPECT_EQ(sheet->dismissed, 1);
    EXPECT_EQ(c.currentBackupRestoreTask, nullptr);
    EXPECT_EQ(readFile(dest() + "/Docs" + src() + "/sub/b.txt"), "beta");

    const auto saved = savedTask("Docs");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->backupStatus, 1);
    EXPECT_FALSE(saved->lastBackupDate.isEmpty());
    EXPECT_EQ(w.restorePage.names(), QStringList { "Docs" });
}

TEST_F(TaskRuns, WhatABackupThatWentThroughHadToSayFollowsTheFixedWords)
{
    c.TaskArray = { task("Docs") };
    auto run = std::make_shared<TaskController::Run>();
    run->task = c.TaskArray[0];
    run->result = true;
    run->errorText = "1 folder of the sources could not be read: the free space was checked without it.";
    c.finishBackup(run);
    ASSERT_EQ(w.presenter.shown.size(), 1u);
    EXPECT_EQ(w.presenter.shown[0].imageName, "ic_log_success");
    EXPECT_EQ(w.presenter.shown[0].message, "\"Docs\" backup complete\n" + run->errorText);
}

TEST_F(TaskRuns, FailedAndCancelledBackupsRecordMinusOne)
{
    auto broken = task("Broken");
    broken->backupDest = tmp.path() + "/no/such/drive";
    c.TaskArray = { broken };
    c.runTask(broken, "Backup", true);
    ASSERT_TRUE(waitForRuns(1));
    const MessageRequest failed = w.presenter.shown[0];
    EXPECT_EQ(failed.imageName, "ic_log_fail");
    EXPECT_TRUE(failed.message.startsWith("\"Broken\" backup failed\n")) << failed.message.toStdString();
    EXPECT_GT(failed.message.size(), QString("\"Broken\" backup failed\n").size()); // the engine's reason
    EXPECT_EQ(savedTask("Broken")->backupStatus, -1);

    // Cancel: no message, still -1 and saved.
    c.TaskArray = { task("Docs") };
    w.windows.cancelOnPresent = true;
    c.runTask(c.TaskArray[0], "Backup", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.executingTasks.isEmpty(); }, 60000));
    drainMainQueue();
    EXPECT_EQ(w.presenter.shown.size(), 1u);
    EXPECT_EQ(savedTask("Docs")->backupStatus, -1);
    EXPECT_FALSE(QFileInfo::exists(dest() + "/Docs" + src() + "/a.txt"));
    EXPECT_TRUE(w.restorePage.names().isEmpty()) << "nothing to restore yet";

    // Once a backup exists, a later cancelled or failed run leaves it listed for restore.
    w.windows.cancelOnPresent = false;
    c.runTask(c.TaskArray[0], "Backup", true);
    ASSERT_TRUE(waitForRuns(2));
    w.windows.cancelOnPresent = true;
    c.runTask(c.TaskArray[0], "Backup", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.executingTasks.isEmpty(); }, 60000));
    drainMainQueue();
    EXPECT_EQ(savedTask("Docs")->backupStatus, -1);
    EXPECT_EQ(w.restorePage.names(), QStringList { "Docs" });
    // A source added since, whose first run fails: the backup still holds the others.
    w.windows.cancelOnPresent = false;
    c.TaskArray[0]->backupSrc << tmp.path() + "/home/gone";
    c.runTask(c.TaskArray[0], "Backup", true);
    ASSERT_TRUE(waitForRuns(3));
    EXPECT_EQ(savedTask("Docs")->backupStatus, -1);
    EXPECT_EQ(w.restorePage.names(), QStringList { "Docs" });
    // None of its sources in the backup: nothing it could restore.
    c.TaskArray[0]->backupSrc = { tmp.path() + "/home/gone" };
    c.refreshTaskLists();
    EXPECT_TRUE(w.restorePage.names().isEmpty());
}

TEST_F(TaskRuns, BackupRequestedTwiceWhileRunningBringsBackItsWindowAndStartsNothing)
{
    c.TaskArray = { task("Docs") };
    c.runTask(c.TaskArray[0], "Backup", true);
    // The first run cannot have finished: its finishing step needs this thread.
    c.runTask(c.TaskArray[0], "Backup", true);
    ASSERT_EQ(w.windows.sheets.size(), 1u);
    EXPECT_EQ(w.windows.sheets[0]->represented, 1);
    EXPECT_EQ(c.executingTasks.size(), 1);
    ASSERT_TRUE(waitForRuns(1));
    EXPECT_EQ(w.presenter.shown.size(), 1u);
}

TEST_F(TaskRuns, ScheduledRunFiresThroughTheClockWhileAManualRunIsOpen)
{
    // Made outside its minute, so only the check below can hand it over.
    ScopedFakeClock clock(localTime(2026, 3, 4, 3, 0));
    writeFile(tmp.path() + "/night/n.txt", "night");
    auto nightly = plainTask("Nightly", { tmp.path() + "/night" }, dest(), "Daily");
    nightly->hour = 3;
    nightly->minute = 30;
    nightly->taskInfoDelegate = &c;
    c.TaskArray = { task("Docs"), nightly };

    c.runTask(c.TaskArray[0], "Backup", true);
    ASSERT_EQ(w.windows.sheets.size(), 1u);
    const auto manualSheet = w.windows.sheets[0];

    clock.set(localTime(2026, 3, 4, 3, 30, 5));
    nightly->checkSchedule();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.windows.notifications.isEmpty(); }, 5000));
    EXPECT_EQ(w.windows.notifications, QStringList { "Task Started|\"Nightly\" is started by scheduler" });
    ASSERT_TRUE(waitForRuns(2));

    // The scheduled run had no window and closed none: the manual window closed once, by its own run.
    EXPECT_EQ(w.windows.sheets.size(), 1u);
    EXPECT_EQ(manualSheet->dismissed, 1);
    QStringList messages;
    for (const auto& m : w.presenter.shown)
        messages << m.message;
    messages.sort();
    EXPECT_EQ(messages, (QStringList { "\"Docs\" backup complete", "\"Nightly\" backup complete" }));
    EXPECT_EQ(savedTask("Nightly")->backupStatus, 1);
    EXPECT_EQ(readFile(dest() + "/Nightly" + tmp.path() + "/night/n.txt"), "night");
}

TEST_F(TaskRuns, OutcomeLandsInTheRecordNowInTheList)
{
    c.TaskArray = { task("Docs") };
    c.runTask(c.TaskArray[0], "Backup", true);
    const auto running = w.windows.sheets[0]->task;
    // The list is rebuilt while the engine works (as a volume re-mapping does).
    c.TaskArray[0] = UtilityFunctions::copyTaskInfo(c.TaskArray[0]);
    const auto current = c.TaskArray[0];
    ASSERT_TRUE(waitForRuns(1));
    EXPECT_EQ(current->backupStatus, 1);
    EXPECT_FALSE(current->lastBackupDate.isEmpty());
    EXPECT_EQ(current->fixedSourcePaths, running->fixedSourcePaths);
    EXPECT_FALSE(current->fixedSourcePaths.isEmpty());
    EXPECT_EQ(savedTask("Docs")->backupStatus, 1);

    // That record can be restored from the backup the stale one made.
    writeFile(src() + "/a.txt", "changed");
    c.restoreTask(current, "Restore");
    ASSERT_TRUE(waitForRuns(2));
    EXPECT_EQ(w.presenter.shown[1].message, "\"Docs\" restoration complete");
    EXPECT_EQ(readFile(src() + "/a.txt"), "alpha");
}

TEST_F(TaskRuns, AnEditSavedWhileItsRunGoesOnNeverGetsAnotherDrivesTree)
{
    const QString a = card("CARD", "UUID-A", "card A");
    const QString other = card("OTHER", "UUID-C", "card C");
    mount({ a, other });
    const TaskInfoPtr photos = task("Photos");
    photos->backupSrc = { a + "/DCIM;UUID-A" };
    c.TaskArray = { photos };
    {
        FailPointHold copying("backup-source-copied");
        c.runTask(photos, "Backup", true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return copying.held(); }, 30000));
        // The pencil while it copies: the other card's folder of the same name instead.
        c.runTask(editOf(c.TaskArray[0], { other + "/DCIM;UUID-C" }), "Modify", true);
    }
    ASSERT_TRUE(waitForRuns(1));
    EXPECT_EQ(w.presenter.shown[0].message, "\"Photos\" backup complete");

    writeFile(other + "/DCIM/IMG_0001.JPG", "card C, later");
    restore("Photos");
    ASSERT_TRUE(waitForRuns(2));
    EXPECT_TRUE(w.presenter.shown[1].message.contains("does not hold any source")) << w.presenter.shown[1].message.toStdString();
    EXPECT_EQ(readFile(other + "/DCIM/IMG_0001.JPG"), "card C, later");
}

TEST_P(TaskRunsOfArchives, AnArchiveGoesBackToItsCardWhereverItIsMountedAndNeverToAnotherCard)
{
    const QString a = card("CARD", "UUID-A", "card A");
    mount({ a });
    const TaskInfoPtr photos = task("Photos", GetParam());
    photos->backupSrc = { a + "/DCIM;UUID-A" };
    c.TaskArray = { photos };
    c.runTask(photos, "Backup", true);
    ASSERT_TRUE(waitForRuns(1));
    EXPECT_EQ(w.presenter.shown[0].message, "\"Photos\" backup complete");

    // The card comes back mounted under another name.
    const QString renamed = media() + "/CARD 1";
    ASSERT_TRUE(QDir().rename(a, renamed));
    mount({ renamed });
    writeFile(renamed + "/DCIM/IMG_0001.JPG", "card A, later");
    restore("Photos");
    ASSERT_TRUE(waitForRuns(2));
    EXPECT_EQ(w.presenter.shown[1].message, "\"Photos\" restoration complete");
    EXPECT_EQ(readFile(renamed + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_FALSE(QFileInfo::exists(a));

    // Another card of the same name at the old place, its folder chosen again in the editor.
    const QString c2 = card("CARD", "UUID-C", "card C");
    mount({ c2 });
    c.runTask(editOf(c.findTask("Photos"), { c2 + "/DCIM;UUID-C" }), "Modify", true);
    restore("Photos");
    ASSERT_TRUE(waitForRuns(3));
    // Card A's tree at the place of card C's folder is named once, with that folder.
    const QString said = w.presenter.shown[2].message;
    EXPECT_FALSE(said.contains("is in the backup but not one of this task's sources")) << said.toStdString();
    EXPECT_TRUE(said.contains("\"" + c2 + "/DCIM\" is not in the last backup.")) << said.toStdString();
    EXPECT_EQ(readFile(c2 + "/DCIM/IMG_0001.JPG"), "card C");
}

INSTANTIATE_TEST_SUITE_P(Modes, TaskRunsOfArchives, ::testing::Values(qint64(2), qint64(3)),
                         [](const auto& info) { return info.param == 2 ? "Archive" : "EncryptedArchive"; });

// A list written by an earlier build knows the paths its backups held, not their drives: as it
// is read, each tree takes the drive of the entry that made it, so its plain copy follows its
// card to another mount, and its archive goes back to the paths it was stored under.
TEST_F(TaskRuns, ATaskListOfAnEarlierBuildRestoresAsItDid)
{
    const QString a = card("CARD", "UUID-A", "card A");
    mount({ a });
    const TaskInfoPtr plain = task("Plain");
    plain->backupSrc = { a + "/DCIM;UUID-A" };
    const TaskInfoPtr archive = task("Archive", 2);
    c.TaskArray = { plain, archive };
    c.runTask(plain, "Backup", true);
    c.runTask(archive, "Backup", true);
    ASSERT_TRUE(waitForRuns(2));
    ASSERT_TRUE(saveAsEarlierBuild(c));
    c.TaskArray = c.loadTaskList();
    ASSERT_EQ(c.TaskArray.size(), 2);

    const QString renamed = media() + "/CARD 1";
    ASSERT_TRUE(QDir().rename(a, renamed));
    mount({ renamed });
    writeFile(renamed + "/DCIM/IMG_0001.JPG", "card A, later");
    writeFile(src() + "/a.txt", "changed");
    EXPECT_EQ(restoreSays("Plain"), "\"Plain\" restoration complete");
    EXPECT_EQ(readFile(renamed + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(restoreSays("Archive"), "\"Archive\" restoration complete");
    EXPECT_EQ(readFile(src() + "/a.txt"), "alpha");
    EXPECT_EQ(c.findTask("Plain")->fixedSourceIdentities, QStringList { "UUID-A" }) << "learned as the list was read";
}

// An encrypted task of a card and a folder: made anew and Replace while another card of the
// name is in, then while the card itself is back, then deleted and added again.
TEST_F(TaskRuns, AnEncryptedTaskReplacedOrMadeAgainWritesNoCardButTheOneItsBackupCameFrom)
{
    const QString a = card("CARD", "UUID-A", "card A");
    mount({ a });
    const auto photos = [&](const QString& cardRoot, const QString& identity) {
        TaskInfoPtr t = task("Photos", 3);
        t->backupSrc = { cardRoot + "/DCIM;" + identity, src() };
        return t;
    };
    const TaskInfoPtr first = photos(a, "UUID-A");
    c.TaskArray = { first };
    c.runTask(first, "Backup", true);
    ASSERT_TRUE(waitForRuns(1));
    ASSERT_EQ(w.presenter.shown[0].message, "\"Photos\" backup complete");
    const auto replaceWith = [&](const TaskInfoPtr& anew) {
        c.runTask(anew, "Add", true);
        ASSERT_TRUE(w.presenter.shown.back().message.startsWith("Task name already exists"));
        c.btnClicked(0);
    };

    ASSERT_TRUE(QDir().rename(a, media() + "/A"));
    const QString other = card("CARD", "UUID-C", "card C");
    writeFile(src() + "/a.txt", "changed");
    ASSERT_NO_FATAL_FAILURE(replaceWith(photos(other, "UUID-C")));
    EXPECT_EQ(w.restorePage.names(), QStringList { "Photos" });
    QString said = restoreSays("Photos");
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNot everything was restored")) << said.toStdString();
    EXPECT_EQ(readFile(other + "/DCIM/IMG_0001.JPG"), "card C");
    EXPECT_EQ(readFile(src() + "/a.txt"), "alpha");

    // Card A back in the place of card C, which the backup never held.
    ASSERT_TRUE(QDir().rename(other, media() + "/C") && QDir().rename(media() + "/A", a));
    writeFile(a + "/DCIM/IMG_0001.JPG", "card A, later");
    said = restoreSays("Photos");
    EXPECT_TRUE(said.endsWith("\"" + a + "/DCIM\" is on another drive than the one it was backed up from: it was not restored."))
        << said.toStdString();
    EXPECT_EQ(readFile(a + "/DCIM/IMG_0001.JPG"), "card A, later");
    ASSERT_NO_FATAL_FAILURE(replaceWith(photos(a, "UUID-A")));
    EXPECT_EQ(restoreSays("Photos"), "\"Photos\" restoration complete");
    EXPECT_EQ(readFile(a + "/DCIM/IMG_0001.JPG"), "card A");

    // Deleted and added again with card C in: a card's tree is never told to be the one in place.
    ASSERT_TRUE(QDir().rename(a, media() + "/A") && QDir().rename(media() + "/C", other));
    c.runTask(c.findTask("Photos"), "Delete", true);
    c.runTask(photos(other, "UUID-C"), "Add", true);
    writeFile(src() + "/a.txt", "changed");
    said = restoreSays("Photos");
    EXPECT_TRUE(said.contains("\"" + other + "/DCIM\" was not restored: it cannot be told that the drive in its place is the one it "
                              "was backed up from. Its backup is in the encrypted 7z archive \"" + dest() + "/Photos/backup.enc\""))
        << said.toStdString();
    EXPECT_EQ(readFile(other + "/DCIM/IMG_0001.JPG"), "card C");
    EXPECT_EQ(readFile(src() + "/a.txt"), "alpha");

    // The card alone in the task: nothing is offered, and nothing is written when asked.
    c.runTask(c.findTask("Photos"), "Delete", true);
    TaskInfoPtr cardOnly = photos(other, "UUID-C");
    cardOnly->backupSrc.removeLast();
    c.runTask(cardOnly, "Add", true);
    EXPECT_TRUE(w.restorePage.names().isEmpty());
    said = restoreSays("Photos");
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNothing was restored.\n")) << said.toStdString();
    EXPECT_EQ(readFile(other + "/DCIM/IMG_0001.JPG"), "card C");
}

// A card backed up encrypted, and its clone, which carries the card's identity file.
TEST_F(TaskRuns, AnEncryptedBackupOfACardNeverGoesToItsClone)
{
    const QString original = card("CARD", "UUID-A", "original");
    mount({ original });
    const TaskInfoPtr photos = task("Photos", 3);
    photos->backupSrc = { original + "/DCIM;UUID-A" };
    c.TaskArray = { photos };
    c.runTask(photos, "Backup", true);
    ASSERT_TRUE(waitForRuns(1));
    const QString twins = "was not restored: more than one attached drive carries the identity of the drive it was backed up "
                          "from. Leave only that drive attached, then restore again. Its backup is in the encrypted 7z archive";

    // The clone alone, at CARD1: the task follows it; then the card is back beside it.
    ASSERT_TRUE(QDir().rename(original, media() + "/away"));
    const QString clone = card("CARD1", "UUID-A", "clone");
    mount({ clone });
    c.updateTaskVolumePaths(false);
    ASSERT_EQ(c.findTask("Photos")->backupSrc, QStringList { clone + "/DCIM;UUID-A" });
    ASSERT_TRUE(QDir().rename(media() + "/away", original));
    mount({ original, clone });
    writeFile(original + "/DCIM/IMG_0001.JPG", "original, later");
    QString said = restoreSays("Photos");
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNothing was restored.\n\"" + clone + "/DCIM\" " + twins))
        << said.toStdString();
    EXPECT_EQ(readFile(clone + "/DCIM/IMG_0001.JPG"), "clone");

    // The card's folder added as the editor adds it: while both are in, neither is written.
    c.runTask(editOf(c.findTask("Photos"), { clone + "/DCIM;UUID-A", original + "/DCIM;UUID-A" }), "Modify", true);
    EXPECT_EQ(w.restorePage.names(), QStringList { "Photos" });
    said = restoreSays("Photos");
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNothing was restored.")) << said.toStdString();
    EXPECT_TRUE(said.contains("\"" + original + "/DCIM\" " + twins)) << said.toStdString();
    EXPECT_EQ(readFile(original + "/DCIM/IMG_0001.JPG"), "original, later");
    EXPECT_EQ(readFile(clone + "/DCIM/IMG_0001.JPG"), "clone");

    // The clone in the card's place, the card at CARD1, the task at CARD: neither is written.
    c.runTask(editOf(c.findTask("Photos"), { original + "/DCIM;UUID-A" }), "Modify", true);
    ASSERT_TRUE(QDir().rename(original, media() + "/away") && QDir().rename(clone, original)
                && QDir().rename(media() + "/away", clone));
    c.updateTaskVolumePaths(false);
    said = restoreSays("Photos");
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNothing was restored.\n\"" + original + "/DCIM\" " + twins))
        << said.toStdString();
    EXPECT_EQ(readFile(original + "/DCIM/IMG_0001.JPG"), "clone");

    // The clone out: the task follows the card to CARD1, which gets its tree back.
    ASSERT_TRUE(QDir().rename(original, media() + "/away"));
    mount({ clone });
    c.updateTaskVolumePaths(false);
    EXPECT_EQ(restoreSays("Photos"), "\"Photos\" restoration complete");
    EXPECT_EQ(readFile(clone + "/DCIM/IMG_0001.JPG"), "original");
    EXPECT_EQ(readFile(media() + "/away/DCIM/IMG_0001.JPG"), "clone");
}

// Edits that reorder and drop sources, one of them saved while the backup runs: every tree the
// backup holds stays restorable once its source is in the task again.
TEST_F(TaskRuns, EditsThatReorderOrDropSourcesKeepEveryTreeTheBackupHolds)
{
    const QString pics = tmp.path() + "/home/pics";
    writeFile(pics + "/p.jpg", "picture");
    const TaskInfoPtr docs = task("Docs");
    docs->backupSrc = { src(), pics };
    c.TaskArray = { docs };
    {
        FailPointHold copying("backup-source-copied");
        c.runTask(docs, "Backup", true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return copying.held(); }, 30000));
        c.runTask(editOf(c.TaskArray[0], { pics, src() }), "Modify", true);
    }
    ASSERT_TRUE(waitForRuns(1));
    ASSERT_EQ(w.presenter.shown[0].message, "\"Docs\" backup complete");

    c.runTask(editOf(c.findTask("Docs"), { pics }), "Modify", true);
    EXPECT_EQ(w.restorePage.names(), QStringList { "Docs" });
    c.runTask(editOf(c.findTask("Docs"), { pics, src() }), "Modify", true);
    writeFile(src() + "/a.txt", "changed");
    writeFile(pics + "/p.jpg", "changed");
    EXPECT_EQ(restoreSays("Docs"), "\"Docs\" restoration complete");
    EXPECT_EQ(readFile(src() + "/a.txt"), "alpha");
    EXPECT_EQ(readFile(pics + "/p.jpg"), "picture");
}

TEST_F(TaskRuns, RestoreShowsItsWindowAtOnceAndRecordsTheResult)
{
    c.TaskArray = { task("Docs") };
    c.runTask(c.TaskArray[0], "Backup", true);
    ASSERT_TRUE(waitForRuns(1));
    writeFile(src() + "/sub/b.txt", "changed");
    w.windows.events.clear();

    c.restoreTask(c.TaskArray[0], "Restore");
    ASSERT_EQ(w.windows.sheets.size(), 2u);
    const auto sheet = w.windows.sheets[1];
    EXPECT_EQ(sheet->title, "Restore");
    EXPECT_EQ(sheet->imageName, "ic_log_restore");
    EXPECT_EQ(sheet->status, "Restore Processing...");
    ASSERT_TRUE(sheet->task); // so Cancel stops the restore
    EXPECT_EQ(sheet->task->taskName, "Docs");
    EXPECT_EQ(w.windows.events, QStringList { "Common Action/Do Restore/" });
    ASSERT_TRUE(waitForRuns(2));
    EXPECT_EQ(w.presenter.shown[1].imageName, "ic_log_success");
    EXPECT_EQ(w.presenter.shown[1].message, "\"Docs\" restoration complete");
    EXPECT_EQ(sheet->dismissed, 1);
    EXPECT_EQ(readFile(src() + "/sub/b.txt"), "beta");
    EXPECT_EQ(savedTask("Docs")->restoreStatus, 1);

    // "Update" only refreshes; other words and no task do nothing.
    const int resets = w.backupPage.resets;
    c.restoreTask(nullptr, "Update");
    EXPECT_EQ(w.backupPage.resets, resets + 1);
    c.restoreTask(c.TaskArray[0], "Backup");
    c.restoreTask(nullptr, "Restore");
    c.restoreTask(task("Nobody"), "Restore");
    EXPECT_EQ(w.windows.sheets.size(), 2u);
}

TEST_F(TaskRuns, CancelledRestoreIsSilentAndRecordsMinusOne)
{
    c.TaskArray = { task("Docs") };
    c.runTask(c.TaskArray[0], "Backup", true);
    ASSERT_TRUE(waitForRuns(1));
    writeFile(src() + "/a.txt", "kept");
    w.windows.cancelOnPresent = true;
    c.restoreTask(c.TaskArray[0], "Restore");
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.executingTasks.isEmpty(); }, 60000));
    drainMainQueue();
    EXPECT_EQ(w.presenter.shown.size(), 1u);
    EXPECT_EQ(savedTask("Docs")->restoreStatus, -1);
    EXPECT_EQ(readFile(src() + "/a.txt"), "kept");
}

TEST_F(TaskRuns, EncryptedRestoreAsksForThePasswordAndForgetsTheTaskWhenCancelled)
{
    c.TaskArray = { task("Secret", 3) };
    c.restoreTask(c.TaskArray[0], "Restore");
    EXPECT_TRUE(w.windows.sheets.empty()); // no window until the password is given
    ASSERT_EQ(w.windows.passwordPrompts.size(), 1u);
    EXPECT_EQ(w.windows.passwordPrompts[0], c.TaskArray[0]);
    EXPECT_EQ(c.itemForDecryptRestore, c.TaskArray[0]);

    c.restorePasswordPromptClosed(); // cancelled
    EXPECT_EQ(c.itemForDecryptRestore, nullptr);
    // A later decryption's dialog cannot start the forgotten restore.
    c.restoreWithPassword("pw");
    EXPECT_TRUE(w.windows.sheets.empty());
    EXPECT_TRUE(c.executingTasks.isEmpty());
}

TEST_F(TaskRuns, EncryptedRestoreFailureIsReportedAndTheTaskForgotten)
{
    c.TaskArray = { task("Secret", 3) }; // never backed up: nothing to restore
    c.restoreTask(c.TaskArray[0], "Restore");
    c.restoreWithPassword("wrong");
    c.restorePasswordPromptClosed(); // the dialog closes after its OK: the restore goes on
    ASSERT_EQ(w.windows.sheets.size(), 1u);
    EXPECT_EQ(w.windows.sheets[0]->title, "Restore");
    EXPECT_EQ(w.windows.sheets[0]->task->taskName, "Secret");
    ASSERT_TRUE(waitForRuns(1));
    EXPECT_EQ(w.presenter.shown[0].imageName, "ic_log_fail");
    EXPECT_TRUE(w.presenter.shown[0].message.startsWith("\"Secret\" restoration failed\n"));
    EXPECT_EQ(c.itemForDecryptRestore, nullptr);
    EXPECT_EQ(savedTask("Secret")->restoreStatus, -1);
    // A second answer from the same dialog does nothing.
    c.restoreWithPassword("wrong");
    EXPECT_EQ(w.windows.sheets.size(), 1u);
}

TEST_F(TaskRuns, AddDoAndModifyDoSaveFirstThenRun)
{
    auto fresh = task("Fresh");
    c.runTask(fresh, "AddDo", true);
    EXPECT_EQ(savedTask("Fresh")->backupStatus, 0); // saved before the run
    ASSERT_EQ(w.windows.sheets.size(), 1u);
    ASSERT_TRUE(waitForRuns(1));
    EXPECT_EQ(savedTask("Fresh")->backupStatus, 1);

    auto old = c.TaskArray[0];
    auto edited = task("Fresh");
    edited->backupSrc = { src() + "/sub" };
    c.runTask(edited, "ModifyDo", true);
    EXPECT_EQ(c.TaskArray.size(), 1);
    ASSERT_TRUE(waitForRuns(2));
    EXPECT_EQ(w.presenter.shown[1].message, "\"Fresh\" backup complete");
    EXPECT_EQ(savedTask("Fresh")->backupSrc, QStringList { src() + "/sub" });
    EXPECT_EQ(w.windows.events,
              (QStringList { "Common Action/Do Backup (immediately)/", "Common Action/Do Backup (immediately)/" }));
}

} // namespace
