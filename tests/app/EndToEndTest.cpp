// The whole window with its real pages: a task made in the editor is backed up at once,
// listed on the Restore page and restored from there with its password.
#include "AddTaskBoxViewController.h"
#include "AdvanceViewController.h"
#include "BackupViewController.h"
#include "CloudClients.h"
#include "Controls.h"
#include "MessageWindowPresenter.h"
#include "PageRegistry.h"
#include "RestoreViewController.h"
#include "ViewController.h"
#include "circleButton.h"
#include "customizeButton.h"
#include "decPasswordView.h"
#include "messageView.h"

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

} // namespace

TEST(EndToEnd, EncryptedTaskFromTheEditorBacksUpAndRestoresThroughTheWindow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    ASSERT_TRUE(QDir(root).mkpath("docs/sub"));
    ASSERT_TRUE(QDir(root).mkpath("backups"));
    writeAll(root + "/docs/sub/note.txt", "original");

    MessageWindowPresenter::install();
    CloudClients cloud;
    PageRegistry::registerPages(cloud);
    ViewController vc;
    vc.start();
    vc.show();
    vc.setTabsEnabled(true);
    vc.onBackupTabClicked();

    auto* backupPage = qobject_cast<BackupViewController*>(vc.page("BackupContainerSegue"));
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
