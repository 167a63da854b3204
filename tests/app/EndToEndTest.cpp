// The whole window with its real pages: a task made in the editor is backed up at once,
// listed on the Restore page and restored from there with its password.
#include "EndToEndSupport.h"

using namespace endtoend;

TEST(EndToEnd, EncryptedTaskFromTheEditorBacksUpAndRestoresThroughTheWindow)
{
    const NoDrivesAttached noDrives;
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
    const NoDrivesAttached noDrives;
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
    doneWithoutBackingUp(again);
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
    const NoDrivesAttached noDrives;
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
