// The whole window with its real pages: a task made in the editor is backed up at once,
// listed on the Restore page and restored from there with its password.
#include "AddTaskBoxViewController.h"
#include "AdvanceViewController.h"
#include "BackupViewController.h"
#include "CloudClients.h"
#include "Controls.h"
#include "ExternalVolumes.h"
#include "FailPointHold.h"
#include "FakeClock.h"
#include "MessageWindowPresenter.h"
#include "MyCell.h"
#include "OTBViewController.h"
#include "PageRegistry.h"
#include "RestoreViewController.h"
#include "ProgressView.h"
#include "ViewController.h"
#include "circleButton.h"
#include "customizeButton.h"
#include "decPasswordView.h"
#include "messageView.h"
#include "restoreTableCell.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <gtest/gtest.h>

namespace {

template <typename T>
T* visibleTopLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    }
    return nullptr;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// The pages and message windows are registered before the window that embeds them is made.
struct RealPages {
    CloudClients cloud;
    RealPages()
    {
        MessageWindowPresenter::install();
        PageRegistry::registerPages(cloud);
    }
};

// The application's window with its real pages, shown on the Backup tab.
struct AppWindow : RealPages {
    // Noon, before any task exists: the nightly schedules the tests make never fall due.
    ScopedFakeClock clock { QDateTime(QDate(2026, 3, 4), QTime(12, 0)) };
    ViewController vc;
    BackupViewController* backupPage = nullptr;
    RestoreViewController* restorePage = nullptr;
    enum List { NoList, SavedList };
    explicit AppWindow(List list = NoList)
    {
        // Every test starts from no task list, also when they share one process.
        if (list == NoList)
            QDir(TaskController::taskListFolder()).removeRecursively();
        vc.start();
        vc.show();
        vc.setTabsEnabled(true);
        vc.onBackupTabClicked();
        backupPage = qobject_cast<BackupViewController*>(vc.page("BackupContainerSegue"));
        restorePage = qobject_cast<RestoreViewController*>(vc.page("RestoreContainerSegue"));
    }
};

// Waits for the message window, checks how its text begins, closes it; its text, or nothing
// when none came.
QString closeMessage(const QString& expected)
{
    messageView* shown = nullptr;
    if (!QTest::qWaitFor([&] { return (shown = visibleTopLevel<messageView>()) != nullptr; }, 60000))
        return QString();
    const QString text = shown->statusString;
    EXPECT_TRUE(text.startsWith(expected)) << text.toStdString();
    shown->closeClicked();
    return text;
}

// The Backup page's add button, one source, a destination and a name, Done: backed up at once.
void addTaskInTheEditor(BackupViewController* page, const QString& source, const QString& destination, const QString& name)
{
    QTest::mouseClick(control<circleButton>(page, "addBtn"), Qt::LeftButton);
    ASSERT_NE(page->editor(), nullptr);
    page->editor()->addSourcePaths({ source }, true);
    page->editor()->chooseDestination(destination, true);
    QTest::keyClicks(control<QLineEdit>(page->editor(), "taskName_field"), name);
    QTest::mouseClick(control<customizeButton>(page->editor(), "doneButton"), Qt::LeftButton);
}

// The same with several sources, as a 7z archive when `compressed`, backed up at once when `now`.
void addTaskInTheEditor(BackupViewController* page, const QStringList& sources, const QString& destination,
                        const QString& name, bool compressed, bool now = true)
{
    QTest::mouseClick(control<circleButton>(page, "addBtn"), Qt::LeftButton);
    AddTaskBoxViewController* editor = page->editor();
    ASSERT_NE(editor, nullptr);
    editor->addSourcePaths(sources, true);
    editor->chooseDestination(destination, true);
    QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), name);
    if (compressed) {
        QTest::mouseClick(control<QPushButton>(editor, "AdvanceBtn"), Qt::LeftButton);
        AdvanceViewController* adv = editor->advancedDialog();
        ASSERT_NE(adv, nullptr);
        control<QCheckBox>(adv, "compressCheckbox")->click();
        QTest::mouseClick(control<customizeButton>(adv, "doneButton"), Qt::LeftButton);
    }
    control<QCheckBox>(editor, "backupImmediatelyCheck")->setChecked(now);
    QTest::mouseClick(control<customizeButton>(editor, "doneButton"), Qt::LeftButton);
}

// The pencil of the Backup page's first row: the editor of that task, once it is shown.
AddTaskBoxViewController* editFirstTask(BackupViewController* page)
{
    QTest::mouseClick(page->cellAt(0)->modifyBtn, Qt::LeftButton);
    AddTaskBoxViewController* editor = nullptr;
    const bool shown = QTest::qWaitFor([&] { return (editor = page->editor()) != nullptr && editor->isVisible(); }, 10000);
    return shown ? editor : nullptr;
}

// The Restore page's first row, confirmed: the run's message, or nothing when none came.
QString restoreFirstTask(ViewController& vc, RestoreViewController* page)
{
    vc.onRestoreTabClicked();
    if (!QTest::qWaitFor([&] { return page->cellAt(0) != nullptr; }, 5000))
        return QString();
    QTest::mouseClick(page->cellAt(0)->restoreBtn, Qt::LeftButton);
    if (closeMessage("Restoring replaces the current files").isEmpty())
        return QString();
    return closeMessage("\"");
}

// How a restore names a folder on a drive that a clone's identity makes it unable to tell.
const QString kTwins = "was not restored: more than one attached drive carries the identity of the drive it was backed "
                       "up from. Leave only that drive attached, then restore again.";

// Cards mounted below media/, a backups folder, and "Photos" backed up from the editor, as a
// 7z archive when the parameter is set.
class EndToEndCards : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(root + "/backups"));
    }
    void TearDown() override { ExternalVolumes::setOverride(std::nullopt, std::nullopt); }

    // A card with its identity file and one photo.
    static void makeCard(const QString& path, const QByteArray& identity, const QByteArray& photo)
    {
        ASSERT_TRUE(QDir().mkpath(path + "/DCIM"));
        writeAll(path + "/Zorvi.txt", identity);
        writeAll(path + "/DCIM/IMG_0001.JPG", photo);
    }
    // Card A in at `card`, another card of its name (card C) away, and a folder of the computer.
    void cardsAndFolder(const QString& card, const QString& folder)
    {
        ASSERT_NO_FATAL_FAILURE(makeCard(card, "UUID-A", "card A"));
        ASSERT_NO_FATAL_FAILURE(makeCard(root + "/away/C", "UUID-C", "card C"));
        ASSERT_TRUE(QDir().mkpath(folder));
        writeAll(folder + "/note.txt", "original");
        mount({ card });
    }
    void mount(const QStringList& cards) { ExternalVolumes::setOverride(QStringList { root + "/media" }, cards); }
    TaskInfoPtr photos(AppWindow& window) { return window.vc.controller.findTask("Photos"); }
    void backUpPhotos(AppWindow& window, const QStringList& sources)
    {
        ASSERT_NO_FATAL_FAILURE(addTaskInTheEditor(window.backupPage, sources, root + "/backups", "Photos", GetParam()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return photos(window) && photos(window)->backupStatus == 1; }, 60000));
        ASSERT_FALSE(closeMessage("\"Photos\" backup complete").isEmpty());
    }

    QTemporaryDir dir;
    const QString root = dir.path();
};

} // namespace

TEST(EndToEnd, EncryptedTaskFromTheEditorBacksUpAndRestoresThroughTheWindow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    ASSERT_TRUE(QDir(root).mkpath("docs/sub"));
    ASSERT_TRUE(QDir(root).mkpath("backups"));
    writeAll(root + "/docs/sub/note.txt", "original");

    AppWindow window;
    ViewController& vc = window.vc;
    auto* backupPage = window.backupPage;
    ASSERT_NE(backupPage, nullptr);
    QTest::mouseClick(control<circleButton>(backupPage, "addBtn"), Qt::LeftButton);
    QPointer<AddTaskBoxViewController> editor = backupPage->editor();
    ASSERT_FALSE(editor.isNull());
    editor->addSourcePaths({ root + "/docs" }, true);
    editor->chooseDestination(root + "/backups", true);
    QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), "Docs");
    QTest::mouseClick(control<QPushButton>(editor, "AdvanceBtn"), Qt::LeftButton);
    AdvanceViewController* adv = editor->advancedDialog();
    ASSERT_NE(adv, nullptr);
    control<QCheckBox>(adv, "compressCheckbox")->click();
    control<QComboBox>(adv, "SecurityModeCombo")->setCurrentIndex(1);
    QTest::keyClicks(control<QLineEdit>(adv, "passwordField"), "Flow1234");
    QTest::keyClicks(control<QLineEdit>(adv, "passwordConfirmField"), "Flow1234");
    control<QComboBox>(adv, "scheduleModeCombo")->setCurrentIndex(1);
    control<QTimeEdit>(adv, "scheduleTimePicker")->setTime(QTime(3, 0));
    QTest::mouseClick(control<customizeButton>(adv, "doneButton"), Qt::LeftButton);
    control<QCheckBox>(editor, "backupImmediatelyCheck")->setChecked(true);
    QTest::mouseClick(control<customizeButton>(editor, "doneButton"), Qt::LeftButton);

    // AddDo: the task joins the list and its backup runs at once.
    auto listed = [&]() { return vc.controller.findTask("Docs"); };
    const bool backedUp = QTest::qWaitFor([&] { return listed() && listed()->backupStatus == 1; }, 60000);
    if (!backedUp) {
        for (const TaskInfoPtr& t : vc.controller.TaskArray)
            ADD_FAILURE() << "task " << t->taskName.toStdString() << " status " << t->backupStatus;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                ADD_FAILURE() << "visible " << w->metaObject()->className();
        if (auto* m = visibleTopLevel<messageView>())
            ADD_FAILURE() << "message " << m->statusString.toStdString();
    }
    ASSERT_TRUE(backedUp);
    EXPECT_TRUE(QFile::exists(root + "/backups/Docs/backup.enc"));
    EXPECT_EQ(listed()->scheduleMode, "Daily");
    messageView* result = visibleTopLevel<messageView>();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->statusString, "\"Docs\" backup complete");
    result->closeClicked();

    // The list on disk carries the result.
    {
        TaskController reader;
        const QList<TaskInfoPtr> saved = reader.loadTaskList();
        ASSERT_EQ(saved.size(), 1);
        EXPECT_EQ(saved.first()->backupStatus, 1);
        for (const TaskInfoPtr& t : saved)
            t->stopScheduleTimer();
    }

    // Restore from the Restore page with the password.
    writeAll(root + "/docs/sub/note.txt", "changed");
    vc.onRestoreTabClicked();
    auto* restorePage = qobject_cast<RestoreViewController*>(vc.page("RestoreContainerSegue"));
    ASSERT_NE(restorePage, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !restorePage->tableData.isEmpty(); }, 5000));
    restorePage->restoreRow("Docs");
    decPasswordView* prompt = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (prompt = visibleTopLevel<decPasswordView>()) != nullptr; }, 5000));
    QTest::keyClicks(control<QLineEdit>(prompt, "decPasswordField"), "Flow1234");
    QTest::mouseClick(control<customizeButton>(prompt, "startButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() && listed()->restoreStatus == 1; }, 120000));
    EXPECT_EQ(readAll(root + "/docs/sub/note.txt"), "original");
    listed()->stopScheduleTimer();
}

// The question about a taken name closed with Esc adds nothing, and the editor that asked
// comes back with everything typed, on the Backup page and on the One-Touch Backup page.
TEST(EndToEnd, ClosingTheDuplicateNameQuestionBringsTheEditorBackAsTyped)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    for (const char* folder : { "docs", "pics", "backups", "other" })
        ASSERT_TRUE(QDir(root).mkpath(folder));
    writeAll(root + "/pics/a.jpg", "picture");

    AppWindow window;
    ViewController& vc = window.vc;
    auto* backupPage = window.backupPage;
    auto* otbPage = qobject_cast<OTBViewController*>(vc.page("OTBContainerSegue"));
    ASSERT_NE(backupPage, nullptr);
    ASSERT_NE(otbPage, nullptr);

    const auto fill = [&](AddTaskBoxViewController* editor, const QString& source, const QString& dest, bool now) {
        editor->addSourcePaths({ root + source }, true);
        editor->chooseDestination(root + dest, true);
        QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), "Docs");
        control<QCheckBox>(editor, "backupImmediatelyCheck")->setChecked(now);
    };
    QTest::mouseClick(control<circleButton>(backupPage, "addBtn"), Qt::LeftButton);
    ASSERT_NE(backupPage->editor(), nullptr);
    fill(backupPage->editor(), "/docs", "/backups", false);
    QTest::mouseClick(control<customizeButton>(backupPage->editor(), "doneButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return vc.controller.findTask("Docs") != nullptr; }, 10000));

    const auto closeQuestionWithEsc = [&] {
        messageView* question = nullptr;
        const bool asked = QTest::qWaitFor([&] {
            question = visibleTopLevel<messageView>();
            return question && question->statusString.startsWith("Task name already exists");
        }, 10000);
        if (!asked)
            return false;
        QTest::keyClick(question, Qt::Key_Escape);
        return true;
    };

    // Second task of the same name, with a schedule, to back up at once.
    QTest::mouseClick(control<circleButton>(backupPage, "addBtn"), Qt::LeftButton);
    QPointer<AddTaskBoxViewController> first = backupPage->editor();
    ASSERT_FALSE(first.isNull());
    fill(first, "/pics", "/other", true);
    QTest::mouseClick(control<QPushButton>(first, "AdvanceBtn"), Qt::LeftButton);
    AdvanceViewController* adv = first->advancedDialog();
    ASSERT_NE(adv, nullptr);
    control<QComboBox>(adv, "scheduleModeCombo")->setCurrentIndex(1);
    control<QTimeEdit>(adv, "scheduleTimePicker")->setTime(QTime(3, 15));
    QTest::mouseClick(control<customizeButton>(adv, "doneButton"), Qt::LeftButton);
    QTest::mouseClick(control<customizeButton>(first, "doneButton"), Qt::LeftButton);
    ASSERT_TRUE(closeQuestionWithEsc());

    AddTaskBoxViewController* again = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        again = backupPage->editor();
        return again && again != first && again->isVisible();
    }, 10000)) << "the editor did not come back";
    EXPECT_EQ(control<QLineEdit>(again, "taskName_field")->text(), "Docs");
    EXPECT_EQ(again->sourcePathArray, QStringList { root + "/pics" });
    EXPECT_EQ(TaskInfo::pathPart(again->destinationPath), root + "/other");
    EXPECT_TRUE(control<QCheckBox>(again, "backupImmediatelyCheck")->isChecked());
    EXPECT_EQ(again->scheduleMode, "Daily");
    EXPECT_EQ(again->hour, 3);
    EXPECT_EQ(again->minute, 15);
    ASSERT_EQ(vc.controller.TaskArray.size(), 1) << "nothing is added while the question is unanswered";
    EXPECT_EQ(vc.controller.TaskArray.first()->backupSrc, QStringList { root + "/docs" });

    // A new name, and the same editor adds the task as typed.
    control<QLineEdit>(again, "taskName_field")->setText("Pics");
    control<QCheckBox>(again, "backupImmediatelyCheck")->setChecked(false);
    QTest::mouseClick(control<customizeButton>(again, "doneButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return vc.controller.findTask("Pics") != nullptr; }, 10000));
    EXPECT_EQ(vc.controller.findTask("Pics")->scheduleMode, "Daily");
    EXPECT_EQ(vc.controller.findTask("Pics")->backupSrc, QStringList { root + "/pics" });

    // The One-Touch Backup page's editor comes back the same way.
    vc.onOTBTabClicked();
    otbPage->addTask();
    QPointer<AddTaskBoxViewController> otbEditor = otbPage->editor();
    ASSERT_FALSE(otbEditor.isNull());
    fill(otbEditor, "/pics", "/backups", false);
    QTest::mouseClick(control<customizeButton>(otbEditor, "doneButton"), Qt::LeftButton);
    ASSERT_TRUE(closeQuestionWithEsc());
    ASSERT_TRUE(QTest::qWaitFor([&] { return otbPage->editor() && otbPage->editor() != otbEditor; }, 10000));
    EXPECT_EQ(control<QLineEdit>(otbPage->editor(), "taskName_field")->text(), "Docs");
    EXPECT_FALSE(control<QCheckBox>(otbPage->editor(), "backupImmediatelyCheck")->isChecked());
    EXPECT_EQ(backupPage->editor(), nullptr) << "only the page that asked opens its editor";
    EXPECT_EQ(vc.controller.TaskArray.size(), 2);
    otbPage->editor()->taskCancelClicked();

    for (const TaskInfoPtr& t : vc.controller.TaskArray)
        t->stopScheduleTimer();
}

// A plain task backed up, then edited to take more sources: whether the next run is cancelled
// or fails, the backup on the drive stays listed and restorable, also once the list has
// been read back from disk.
TEST(EndToEnd, AnEditedTaskKeepsItsBackupRestorableWhenTheNextRunIsCancelledOrFails)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    for (const char* folder : { "a", "b", "c", "d", "backups" })
        ASSERT_TRUE(QDir(root).mkpath(folder));
    writeAll(root + "/a/note.txt", "original");
    writeAll(root + "/b/b.txt", "b");
    writeAll(root + "/c/c.txt", "c");
    writeAll(root + "/d/d.txt", "d");

    AppWindow window;
    ViewController& vc = window.vc;
    auto* backupPage = window.backupPage;
    auto* restorePage = window.restorePage;
    ASSERT_NE(backupPage, nullptr);
    ASSERT_NE(restorePage, nullptr);
    auto listed = [&]() { return vc.controller.findTask("Plain"); };
    auto restoreNames = [&]() {
        QStringList names;
        for (const TaskInfoPtr& t : restorePage->tableData)
            names << t->taskName;
        return names;
    };

    ASSERT_NO_FATAL_FAILURE(addTaskInTheEditor(backupPage, root + "/a", root + "/backups", "Plain"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() && listed()->backupStatus == 1; }, 60000));
    ASSERT_FALSE(closeMessage("\"Plain\" backup complete").isEmpty());

    // The pencil, more sources, Done: the run starts at once.
    const auto editAdding = [&](const QStringList& sources) {
        QTest::mouseClick(backupPage->cellAt(0)->modifyBtn, Qt::LeftButton);
        AddTaskBoxViewController* editor = nullptr;
        if (!QTest::qWaitFor([&] { return (editor = backupPage->editor()) != nullptr && editor->isVisible(); }, 10000))
            return false;
        editor->addSourcePaths(sources, false);
        EXPECT_TRUE(control<QCheckBox>(editor, "backupImmediatelyCheck")->isChecked());
        QTest::mouseClick(control<customizeButton>(editor, "doneButton"), Qt::LeftButton);
        return true;
    };
    const auto stillRestorable = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(listed()->backupStatus, -1);
        EXPECT_EQ(restoreNames(), QStringList { "Plain" });
        TaskController reader;
        const QList<TaskInfoPtr> saved = reader.loadTaskList();
        ASSERT_EQ(saved.size(), 1);
        EXPECT_TRUE(saved.first()->hasCompleteBackup());
        EXPECT_EQ(saved.first()->fixedSourcePaths, QStringList { root + "/a" });
    };

    // A run that fails: one of the new sources is gone by the time it starts.
    ASSERT_TRUE(QDir(root + "/c").removeRecursively());
    ASSERT_TRUE(editAdding({ root + "/b", root + "/c" }));
    ASSERT_FALSE(closeMessage("\"Plain\" backup failed").isEmpty());
    stillRestorable("failed");

    // A run cancelled from its window while it copies.
    ASSERT_TRUE(QDir(root).mkpath("c"));
    writeAll(root + "/c/c.txt", "c");
    {
        FailPointHold copying("backup-source-copied");
        ASSERT_TRUE(editAdding({ root + "/d" }));
        ProgressView* progress = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return copying.held() && (progress = visibleTopLevel<ProgressView>()) != nullptr; }, 30000));
        QTest::mouseClick(control<customizeButton>(progress, "cancelBtn"), Qt::LeftButton);
        copying.release();
        ASSERT_TRUE(QTest::qWaitFor([&] { return vc.controller.executingTasks.isEmpty(); }, 60000));
    }
    EXPECT_EQ(listed()->backupSrc.size(), 4);
    stillRestorable("cancelled");

    // Restore from the page brings A back; the sources the backup never held are named.
    writeAll(root + "/a/note.txt", "changed");
    vc.onRestoreTabClicked();
    restorePage->restoreRow("Plain");
    ASSERT_FALSE(closeMessage("Restoring replaces the current files").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed()->restoreStatus != 0; }, 60000));
    EXPECT_EQ(readAll(root + "/a/note.txt"), "original");
    ASSERT_FALSE(closeMessage("\"Plain\" restoration failed\nNot everything was restored").isEmpty());
}

// A plain task of one card's photos, edited to take a second card's as well, whose next run
// is cancelled. Then the first card is out and another card of the same name (as cameras
// name them) is in its place. The restore writes neither card and names both.
TEST(EndToEnd, ARestoreAfterAnEditWritesOnlyWhereItsBackupCameFrom)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    const QString card1 = root + "/media/CARD1";
    const QString card2 = root + "/media/CARD2";
    for (const QString& folder : { card1 + "/DCIM", card2 + "/DCIM", root + "/backups" })
        ASSERT_TRUE(QDir().mkpath(folder));
    writeAll(card1 + "/DCIM/IMG_0001.JPG", "card 1");
    writeAll(card2 + "/DCIM/IMG_0001.JPG", "card 2");
    writeAll(card2 + "/DCIM/IMG_0002.JPG", "card 2 only");
    ExternalVolumes::setOverride(QStringList { root + "/media" }, QStringList { card1, card2 });
    struct Unmount {
        ~Unmount() { ExternalVolumes::setOverride(std::nullopt, std::nullopt); }
    } unmount;

    AppWindow window;
    ViewController& vc = window.vc;
    auto* backupPage = window.backupPage;
    auto* restorePage = window.restorePage;
    ASSERT_NE(backupPage, nullptr);
    ASSERT_NE(restorePage, nullptr);
    auto listed = [&]() { return vc.controller.findTask("Photos"); };

    ASSERT_NO_FATAL_FAILURE(addTaskInTheEditor(backupPage, card1 + "/DCIM", root + "/backups", "Photos"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() && listed()->backupStatus == 1; }, 60000));
    ASSERT_FALSE(closeMessage("\"Photos\" backup complete").isEmpty());

    // The pencil, the second card's folder, Done; the run is cancelled from its window.
    {
        FailPointHold copying("backup-source-copied");
        QTest::mouseClick(backupPage->cellAt(0)->modifyBtn, Qt::LeftButton);
        AddTaskBoxViewController* editor = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (editor = backupPage->editor()) != nullptr && editor->isVisible(); }, 10000));
        editor->addSourcePaths({ card2 + "/DCIM" }, false);
        QTest::mouseClick(control<customizeButton>(editor, "doneButton"), Qt::LeftButton);
        ProgressView* progress = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return copying.held() && (progress = visibleTopLevel<ProgressView>()) != nullptr; }, 30000));
        QTest::mouseClick(control<customizeButton>(progress, "cancelBtn"), Qt::LeftButton);
        copying.release();
        ASSERT_TRUE(QTest::qWaitFor([&] { return vc.controller.executingTasks.isEmpty(); }, 60000));
    }
    ASSERT_EQ(listed()->backupSrc.size(), 2);
    EXPECT_EQ(listed()->fixedSourcePaths, QStringList { card1 + "/DCIM" });

    // Card 1 is out; another card of its name is in, with its own photos.
    ASSERT_TRUE(QDir(card1).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(card1 + "/DCIM"));
    writeAll(card1 + "/DCIM/IMG_0001.JPG", "card 3");

    vc.onRestoreTabClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !restorePage->tableData.isEmpty(); }, 5000));
    restorePage->restoreRow("Photos");
    ASSERT_FALSE(closeMessage("Restoring replaces the current files").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed()->restoreStatus != 0; }, 60000));
    EXPECT_EQ(listed()->restoreStatus, -1);
    const QString said = closeMessage("\"Photos\" restoration failed");
    EXPECT_TRUE(said.contains("\"" + card1 + "/DCIM\" is on another drive")) << said.toStdString();
    EXPECT_TRUE(said.contains("\"" + card2 + "/DCIM\" is not in the last backup.")) << said.toStdString();
    EXPECT_EQ(readAll(card1 + "/DCIM/IMG_0001.JPG"), "card 3");
    EXPECT_EQ(QDir(card1 + "/DCIM").entryList(QDir::Files), QStringList { "IMG_0001.JPG" });
    EXPECT_EQ(readAll(card2 + "/DCIM/IMG_0001.JPG"), "card 2");
    EXPECT_EQ(QDir(card2 + "/DCIM").entryList(QDir::Files), QStringList({ "IMG_0001.JPG", "IMG_0002.JPG" }));
}

// Two cards of one camera share their name: the second one mounts as CARD1. One task backs up
// both; next time they go in the other way round. Restore gives each card its own photos.
TEST_P(EndToEndCards, TwoCardsOfOneNameInsertedTheOtherWayRoundGetTheirOwnPhotosBack)
{
    const QString first = root + "/media/CARD";
    const QString second = root + "/media/CARD1";
    ASSERT_NO_FATAL_FAILURE(makeCard(first, "UUID-A", "card A"));
    ASSERT_NO_FATAL_FAILURE(makeCard(second, "UUID-C", "card C"));
    mount({ first, second });

    AppWindow window;
    ViewController& vc = window.vc;
    auto listed = [&]() { return photos(window); };
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { first + "/DCIM", second + "/DCIM" }));
    EXPECT_EQ(listed()->function, GetParam() ? 2 : 1);

    // The other way round: card C at CARD, card A at CARD1; both photos changed since.
    ASSERT_TRUE(QDir().rename(first, root + "/media/out"));
    ASSERT_TRUE(QDir().rename(second, first));
    ASSERT_TRUE(QDir().rename(root + "/media/out", second));
    writeAll(second + "/DCIM/IMG_0001.JPG", "card A, later");
    writeAll(first + "/DCIM/IMG_0001.JPG", "card C, later");

    EXPECT_EQ(restoreFirstTask(vc, window.restorePage), "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(second + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(readAll(first + "/DCIM/IMG_0001.JPG"), "card C");
}

// A card's photos and a folder of the computer, backed up by "Photos". The card goes out, and
// another card that the camera names alike comes in. The user makes "Photos" anew over the same
// folders and answers Replace to the question about its name; later the first card comes back
// and the same again; later still the other card is in, and "Photos" is deleted and added again.
// Only the first card ever gets its photos back; the folder of the computer always does.
TEST_P(EndToEndCards, AReplacedOrRemadeTaskWritesNoCardButTheOneItsBackupCameFrom)
{
    const QString card = root + "/media/CARD";
    const QString docs = root + "/docs";
    ASSERT_NO_FATAL_FAILURE(cardsAndFolder(card, docs));
    const auto swapCards = [&](const QString& out, const QString& in) {
        return QDir().rename(card, root + "/away/" + out) && QDir().rename(root + "/away/" + in, card);
    };

    AppWindow window;
    ViewController& vc = window.vc;
    auto listed = [&]() { return photos(window); };
    const auto makePhotosAnew = [&] {
        vc.onBackupTabClicked();
        addTaskInTheEditor(window.backupPage, { card + "/DCIM", docs }, root + "/backups", "Photos", GetParam(), false);
    };
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM", docs }));

    // Card C in, "Photos" made anew and Replace.
    ASSERT_TRUE(swapCards("A", "C"));
    writeAll(docs + "/note.txt", "changed");
    ASSERT_NO_FATAL_FAILURE(makePhotosAnew());
    ASSERT_FALSE(closeMessage("Task name already exists").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed()->backupSrc.first().endsWith(";UUID-C"); }, 10000));
    QString said = restoreFirstTask(vc, window.restorePage);
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed")) << said.toStdString();
    EXPECT_TRUE(said.contains("\"" + card + "/DCIM\" is not in the last backup.")) << said.toStdString();
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card C");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");

    // Card A back, and the same: its own photos come back.
    ASSERT_TRUE(swapCards("C", "A"));
    writeAll(card + "/DCIM/IMG_0001.JPG", "card A, later");
    writeAll(docs + "/note.txt", "changed");
    ASSERT_NO_FATAL_FAILURE(makePhotosAnew());
    ASSERT_FALSE(closeMessage("Task name already exists").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed()->backupSrc.first().endsWith(";UUID-A"); }, 10000));
    said = restoreFirstTask(vc, window.restorePage);
    EXPECT_EQ(said, "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");

    // Card C in; "Photos" deleted and added again: it knows nothing of the backup in its folder.
    ASSERT_TRUE(swapCards("A", "C"));
    writeAll(docs + "/note.txt", "changed");
    vc.onBackupTabClicked();
    QTest::mouseClick(window.backupPage->cellAt(0)->deleteBtn, Qt::LeftButton);
    ASSERT_FALSE(closeMessage("Are you sure you want to delete?").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(); }, 10000));
    ASSERT_NO_FATAL_FAILURE(makePhotosAnew());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() != nullptr; }, 10000));
    said = restoreFirstTask(vc, window.restorePage);
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNot everything was restored")) << said.toStdString();
    const QString where = GetParam() ? "Its backup is in the 7z archive \"" + root + "/backups/Photos/backup.7z\""
                                     : "Its backup is the plain folder \"" + root + "/backups/Photos" + card + "/DCIM\"";
    EXPECT_TRUE(said.contains("\"" + card + "/DCIM\" was not restored: it cannot be told that the drive in its place is the one "
                              "it was backed up from. " + where)) << said.toStdString();
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card C");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");
}

// A card and its clone (copied block by block, so they carry one identity). The task backed up
// the card; the clone went in alone, at CARD1, and the task followed it there; then the card
// came back beside it and the user added the card's folder in the editor. While both are in,
// Restore cannot tell which is the card: it writes neither and names both.
TEST_P(EndToEndCards, ACloneIsNeverWrittenWithTheOriginalsBackup)
{
    const QString card = root + "/media/CARD";
    const QString clone = root + "/media/CARD1";
    ASSERT_NO_FATAL_FAILURE(makeCard(card, "UUID-A", "original"));
    mount({ card });

    AppWindow window;
    ViewController& vc = window.vc;
    auto listed = [&]() { return photos(window); };
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM" }));

    // The clone alone: opening the task's editor makes it follow the card's identity there.
    ASSERT_TRUE(QDir().mkpath(root + "/away") && QDir().rename(card, root + "/away/CARD"));
    ASSERT_NO_FATAL_FAILURE(makeCard(clone, "UUID-A", "clone"));
    mount({ clone });
    AddTaskBoxViewController* editor = editFirstTask(window.backupPage);
    ASSERT_NE(editor, nullptr);
    editor->taskCancelClicked();
    ASSERT_EQ(listed()->backupSrc, QStringList { clone + "/DCIM;UUID-A" });

    // The card back beside its clone, and its folder added.
    ASSERT_TRUE(QDir().rename(root + "/away/CARD", card));
    mount({ card, clone });
    writeAll(card + "/DCIM/IMG_0001.JPG", "original, later");
    ASSERT_NE(editor = editFirstTask(window.backupPage), nullptr);
    editor->addSourcePaths({ card + "/DCIM" }, false);
    control<QCheckBox>(editor, "backupImmediatelyCheck")->setChecked(false);
    QTest::mouseClick(control<customizeButton>(editor, "doneButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed()->backupSrc.size() == 2; }, 10000));

    const QString said = restoreFirstTask(vc, window.restorePage);
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNothing was restored.")) << said.toStdString();
    for (const QString& folder : { clone, card })
        EXPECT_TRUE(said.contains("\"" + folder + "/DCIM\" " + kTwins)) << said.toStdString();
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "original, later");
    EXPECT_EQ(readAll(clone + "/DCIM/IMG_0001.JPG"), "clone");
}

// A card backed up with a folder of the computer; then a card that carries its identity (a
// clone, or a card onto which all of it was copied) is in beside it, in either mount order.
// While both are in, neither is written and the restore says what to do; the folder comes
// back. With the clone out, the card gets its photos back, also under another mount name.
TEST_P(EndToEndCards, TwoAttachedCardsOfOneIdentityAreNeitherWrittenUntilOneIsOut)
{
    const QString card = root + "/media/CARD";
    const QString second = root + "/media/CARD1";
    const QString away = root + "/away";
    const QString docs = root + "/docs";
    ASSERT_NO_FATAL_FAILURE(cardsAndFolder(card, docs));
    ASSERT_NO_FATAL_FAILURE(makeCard(away + "/clone", "UUID-A", "clone"));

    AppWindow window;
    ViewController& vc = window.vc;
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM", docs }));
    const auto restoreWithBothIn = [&](const QString& cardAt, const QString& cloneAt) {
        mount({ card, second });
        writeAll(cardAt + "/DCIM/IMG_0001.JPG", "card A, later");
        writeAll(docs + "/note.txt", "changed");
        const QString said = restoreFirstTask(vc, window.restorePage);
        EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNot everything was restored; everything else is back in "
                                    "place.\n\"" + card + "/DCIM\" " + kTwins + " Its backup is ")) << said.toStdString();
        EXPECT_EQ(readAll(cardAt + "/DCIM/IMG_0001.JPG"), "card A, later");
        EXPECT_EQ(readAll(cloneAt + "/DCIM/IMG_0001.JPG"), "clone");
        EXPECT_EQ(readAll(docs + "/note.txt"), "original");
    };

    // The clone put in beside the card: it mounts as CARD1.
    ASSERT_TRUE(QDir().rename(away + "/clone", second));
    restoreWithBothIn(card, second);
    ASSERT_TRUE(QDir().rename(second, away + "/clone"));
    mount({ card });
    EXPECT_EQ(restoreFirstTask(vc, window.restorePage), "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");

    // The clone in while the card was out, so it mounts as CARD; the card back as CARD1.
    ASSERT_TRUE(QDir().rename(card, second) && QDir().rename(away + "/clone", card));
    restoreWithBothIn(second, card);
    ASSERT_TRUE(QDir().rename(card, away + "/clone"));
    mount({ second });
    AddTaskBoxViewController* editor = editFirstTask(window.backupPage);
    ASSERT_NE(editor, nullptr);
    editor->taskCancelClicked();
    ASSERT_EQ(photos(window)->backupSrc.first(), second + "/DCIM;UUID-A");
    EXPECT_EQ(restoreFirstTask(vc, window.restorePage), "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(second + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(readAll(away + "/clone/DCIM/IMG_0001.JPG"), "clone");
}

// "Photos" of a card and a folder of the computer, in a task list of an earlier build, which
// recorded no drives. With another card of the camera's name in, the user makes "Photos" anew
// over the same folders and answers Replace: that card is never written, the folder comes
// back. Made anew the same way over the card itself, the card gets its photos back.
TEST_P(EndToEndCards, AnEarlierBuildsTaskReplacedOverAnotherCardNeverWritesIt)
{
    const QString card = root + "/media/CARD";
    const QString docs = root + "/docs";
    ASSERT_NO_FATAL_FAILURE(cardsAndFolder(card, docs));
    QByteArray earlierList;
    {
        AppWindow window;
        ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM", docs }));
        TaskController& c = window.vc.controller;
        QVariantMap record = c.TaskArray.first()->toDictionary();
        ASSERT_TRUE(record.remove("fixedSourceIdentities"));
        c.TaskArray = { TaskInfo::initFromDictionary(record, true) };
        ASSERT_TRUE(c.saveTaskList());
        earlierList = readAll(TaskController::taskListPath());
    }
    const auto replacePhotos = [&](AppWindow& window) {
        const TaskInfoPtr loaded = photos(window);
        ASSERT_FALSE(loaded->fixedSourceIdentities) << "the earlier build's record";
        addTaskInTheEditor(window.backupPage, { card + "/DCIM", docs }, root + "/backups", "Photos", GetParam(), false);
        ASSERT_FALSE(closeMessage("Task name already exists").isEmpty());
        ASSERT_TRUE(QTest::qWaitFor([&] { return photos(window) != loaded; }, 10000));
    };

    ASSERT_TRUE(QDir().rename(card, root + "/away/A") && QDir().rename(root + "/away/C", card));
    writeAll(docs + "/note.txt", "changed");
    {
        AppWindow window(AppWindow::SavedList);
        ASSERT_NO_FATAL_FAILURE(replacePhotos(window));
        ASSERT_TRUE(photos(window)->backupSrc.first().endsWith(";UUID-C"));
        const QString said = restoreFirstTask(window.vc, window.restorePage);
        EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNot everything was restored")) << said.toStdString();
        EXPECT_TRUE(said.contains("\"" + card + "/DCIM\" was not restored: it cannot be told that the drive in its place is the "
                                  "one it was backed up from. Its backup is ")) << said.toStdString();
        EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card C");
        EXPECT_EQ(readAll(docs + "/note.txt"), "original");
    }

    // Card A in, and the earlier build's list as it was.
    ASSERT_TRUE(QDir().rename(card, root + "/away/C") && QDir().rename(root + "/away/A", card));
    writeAll(card + "/DCIM/IMG_0001.JPG", "card A, later");
    writeAll(docs + "/note.txt", "changed");
    writeAll(TaskController::taskListPath(), earlierList);
    AppWindow window(AppWindow::SavedList);
    ASSERT_NO_FATAL_FAILURE(replacePhotos(window));
    EXPECT_EQ(restoreFirstTask(window.vc, window.restorePage), "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");
}

INSTANTIATE_TEST_SUITE_P(Modes, EndToEndCards, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Archive" : "PlainCopy"; });
