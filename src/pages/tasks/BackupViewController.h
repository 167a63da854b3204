#pragma once

#include "BoxViewSendTaskDelegate.h"
#include "CellDelegate.h"
#include "EmbeddedPage.h"
#include "SendPasswordDelegate.h"
#include "TaskListPageBase.h"
#include "messageViewDelegate.h"

#include <QPointer>

#include "AddTaskBoxViewController.h"
class BackupSendTaskDelegate;
class BackupTableRowView;
class MyCell;
class circleButton;
#include "getPasswordViewController.h"

// The Backup page: one row per task, with Backup, Modify, Delete and a fold-out. Every change
// goes to the main window's dispatcher as a task and an action word. Tasks are remembered by
// name across modal waits and list refreshes and found again by name when the answer comes;
// a task that is gone by then is left alone.
class BackupViewController : public TaskListPageBase,
                             public EmbeddedPage,
                             public BoxViewSendTaskDelegate,
                             public messageViewDelegate,
                             public CellDelegate,
                             public SendPasswordDelegate {
    Q_OBJECT
public:
    explicit BackupViewController(QWidget* parent = nullptr);
    ~BackupViewController() override;

    BackupSendTaskDelegate* passToMainDelegate = nullptr;

    // EmbeddedPage: keeps the main window's BackupSendTaskDelegate and asks it for the list.
    void embed(QObject* mainWindow) override;

    // TaskTablePage
    void resetAndReloadTaskTable() override;
    bool reopenTaskEditor(const TaskInfoPtr& typed, const QString& action) override;

    // BoxViewSendTaskDelegate
    void sendTask(const TaskInfoPtr& task, const QString& action) override;
    void driveIdentityGiven(const QString& root, const QString& identity) override;
    // SendPasswordDelegate
    void sendPassword(const QString& password) override;
    // messageViewDelegate: the answer to the delete question
    void btnClicked(int index) override;

    // CellDelegate
    void backupRow(MyCell* cell) override;
    void modifyRow(MyCell* cell) override;
    void deleteRow(MyCell* cell) override;
    void openMoreInfo(const QString& taskName) override;
    void closeMoreInfo() override;

    // Opens the editor for the task named for Modify (after the password for an encrypted one).
    void modifySelectedTask();
    // Opens the task editor in add mode.
    void addTask();

    QString moreInfoTaskName() const { return moreInfoTaskName_; }
    QString selectedTaskName() const { return selectedTaskName_; }
    QString deleteTaskName() const { return deleteTaskName_; }

    // The rows as drawn by the last reload.
    MyCell* cellAt(int row) const;
    BackupTableRowView* rowViewAt(int row) const;
    AddTaskBoxViewController* editor() const { return editor_; }
    getPasswordViewController* passwordPrompt() const { return prompt_; }

protected:
    QWidget* createRowView(QWidget* parent) override;
    TaskCellBase* createCell(QWidget* row) override;

private:
    circleButton* addBtn = nullptr;

    void openEditor(const TaskInfoPtr& task);

    TaskInfoPtr handedOver_; // the last new task the editor handed over

    QString selectedTaskName_;
    QString deleteTaskName_;
    QPointer<AddTaskBoxViewController> editor_;
    QPointer<getPasswordViewController> prompt_;
};
