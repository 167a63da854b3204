#pragma once

// The application's window with its real pages, and what a person does with it: the editor,
// the Backup and Restore pages' rows, the message windows.
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
#include "NoDrivesAttached.h"
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

namespace endtoend {

template <typename T>
T* visibleTopLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    }
    return nullptr;
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& data)
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
inline QString closeMessage(const QString& expected)
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
inline void addTaskInTheEditor(BackupViewController* page, const QString& source, const QString& destination, const QString& name)
{
    QTest::mouseClick(control<circleButton>(page, "addBtn"), Qt::LeftButton);
    ASSERT_NE(page->editor(), nullptr);
    page->editor()->addSourcePaths({ source }, true);
    page->editor()->chooseDestination(destination, true);
    QTest::keyClicks(control<QLineEdit>(page->editor(), "taskName_field"), name);
    QTest::mouseClick(control<customizeButton>(page->editor(), "doneButton"), Qt::LeftButton);
}

// The same with several sources, as a 7z archive when `compressed`, backed up at once when `now`.
inline void addTaskInTheEditor(BackupViewController* page, const QStringList& sources, const QString& destination,
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
inline AddTaskBoxViewController* editFirstTask(BackupViewController* page)
{
    if (!QTest::qWaitFor([&] { return page->cellAt(0) != nullptr; }, 5000))
        return nullptr;
    QTest::mouseClick(page->cellAt(0)->modifyBtn, Qt::LeftButton);
    AddTaskBoxViewController* editor = nullptr;
    const bool shown = QTest::qWaitFor([&] { return (editor = page->editor()) != nullptr && editor->isVisible(); }, 10000);
    return shown ? editor : nullptr;
}

// The editor's "Back up immediately" turned off, then Done.
inline void doneWithoutBackingUp(AddTaskBoxViewController* editor)
{
    control<QCheckBox>(editor, "backupImmediatelyCheck")->setChecked(false);
    QTest::mouseClick(control<customizeButton>(editor, "doneButton"), Qt::LeftButton);
}

// The Backup button of the Backup page's first row; false when the page lists no task.
inline bool backUpFirstTask(BackupViewController* page)
{
    if (!QTest::qWaitFor([&] { return page->cellAt(0) != nullptr; }, 5000))
        return false;
    QTest::mouseClick(page->cellAt(0)->backupBtn, Qt::LeftButton);
    return true;
}

// The Restore page's first row, confirmed: the run's message, or nothing when none came.
inline QString restoreFirstTask(ViewController& vc, RestoreViewController* page)
{
    vc.onRestoreTabClicked();
    if (!QTest::qWaitFor([&] { return page->cellAt(0) != nullptr; }, 5000))
        return QString();
    QTest::mouseClick(page->cellAt(0)->restoreBtn, Qt::LeftButton);
    if (closeMessage("Restoring replaces the current files").isEmpty())
        return QString();
    return closeMessage("\"");
}

} // namespace endtoend
