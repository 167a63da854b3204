#include "BackupViewController.h"

#include "AddTaskBoxViewController.h"
#include "BackupSendTaskDelegate.h"
#include "BackupTableRowView.h"
#include "ControlStyle.h"
#include "MyCell.h"
#include "UtilityFunctions.h"
#include "circleButton.h"
#include "getPasswordViewController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

BackupViewController::BackupViewController(QWidget* parent)
    : TaskListPageBase(QStringLiteral("BackupViewController"), QStringLiteral("backupTableView"),
                       QStringLiteral("Backup View"), parent)
{
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(16, 6, 16, 8);
    auto* hint = new QLabel(tr("Add a backup task"), this);
    hint->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::greyText()), ControlStyle::cssFont(13)));
    addBtn = new circleButton(QStringLiteral("add"), this);
    addBtn->setToolTip(tr("Add a backup task"));
    bar->addStretch(1);
    bar->addWidget(hint);
    bar->addSpacing(8);
    bar->addWidget(addBtn);
    pageLayout()->addLayout(bar);
    connect(addBtn, &QPushButton::clicked, this, &BackupViewController::addTask);

    addBtn->setObjectName(QStringLiteral("addBtn"));
}

BackupViewController::~BackupViewController() = default;

void BackupViewController::embed(QObject* mainWindow)
{
    passToMainDelegate = dynamic_cast<BackupSendTaskDelegate*>(mainWindow);
    if (passToMainDelegate)
        passToMainDelegate->runTask(nullptr, QStringLiteral("Update"), true);
}

void BackupViewController::resetAndReloadTaskTable()
{
    // The name chosen for Modify is kept: an encrypted task's password may still be awaited,
    // and the answer finds its task again by that name.
    reloadTaskTable();
}

MyCell* BackupViewController::cellAt(int row) const
{
    return static_cast<MyCell*>(cellWidgetAt(row));
}

BackupTableRowView* BackupViewController::rowViewAt(int row) const
{
    return static_cast<BackupTableRowView*>(rowWidgetAt(row));
}

QWidget* BackupViewController::createRowView(QWidget* parent)
{
    return new BackupTableRowView(parent);
}

TaskCellBase* BackupViewController::createCell(QWidget* row)
{
    auto* cell = new MyCell(row);
    cell->myDelegate = this;
    return cell;
}

void BackupViewController::sendTask(const TaskInfoPtr& task, const QString& action)
{
    if (action.startsWith(QLatin1String("Add"))) {
        handedOver_ = task;
        revealNextNewTask();
    }
    if (passToMainDelegate)
        passToMainDelegate->runTask(task, action, true);
}

void BackupViewController::driveIdentityGiven(const QString& root, const QString& identity)
{
    if (passToMainDelegate)
        passToMainDelegate->driveIdentityGiven(root, identity);
}

void BackupViewController::backupRow(MyCell* cell)
{
    const TaskInfoPtr task = cell ? taskNamed(cell->taskName()) : nullptr;
    if (task && passToMainDelegate)
        passToMainDelegate->runTask(task, QStringLiteral("Backup"), true);
}

void BackupViewController::modifyRow(MyCell* cell)
{
    if (!cell)
        return;
    const QString name = cell->taskName();
    if (passToMainDelegate)
        passToMainDelegate->updateTaskVolumePaths(true);
    selectedTaskName_ = name;
    modifySelectedTask();
}

void BackupViewController::modifySelectedTask()
{
    const TaskInfoPtr task = taskNamed(selectedTaskName_);
    if (!task)
        return;
    if (task->function != 3) {
        openEditor(task);
        return;
    }
    auto* prompt = new getPasswordViewController(window());
    prompt->myDelegate = this;
    prompt_ = prompt;
    prompt->present();
}

void BackupViewController::sendPassword(const QString& password)
{
    const TaskInfoPtr task = taskNamed(selectedTaskName_);
    if (!task)
        return; // deleted while the prompt was up
    if (password == task->password) {
        openEditor(task);
        return;
    }
    UtilityFunctions::showMessageView(this, tr("Error"), QStringLiteral("ic_log_fail"), tr("Incorrect password"), false);
}

void BackupViewController::openEditor(const TaskInfoPtr& task)
{
    auto* editor = new AddTaskBoxViewController(window(), task);
    editor->boxDelegate = this;
    editor_ = editor;
    editor->present();
}

void BackupViewController::addTask()
{
    openEditor(nullptr);
}

bool BackupViewController::reopenTaskEditor(const TaskInfoPtr& typed, const QString& action)
{
    if (!typed || typed != handedOver_)
        return false;
    handedOver_ = nullptr;
    openEditor(nullptr);
    if (editor_)
        editor_->fillWithTyped(typed, action == QLatin1String("AddDo"));
    return true;
}

void BackupViewController::deleteRow(MyCell* cell)
{
    const TaskInfoPtr task = cell ? taskNamed(cell->taskName()) : nullptr;
    if (!task)
        return;
    deleteTaskName_ = task->taskName;
    UtilityFunctions::showMessageView(this, QString(), QStringLiteral("ic_log_lable"),
                                      tr("Are you sure you want to delete?"), true);
}

void BackupViewController::btnClicked(int index)
{
    if (index != 0)
        return;
    const QString name = deleteTaskName_;
    deleteTaskName_.clear();
    const TaskInfoPtr task = taskNamed(name);
    if (!task)
        return;
    if (passToMainDelegate)
        passToMainDelegate->runTask(task, QStringLiteral("Delete"), true);
    moreInfoTaskName_ = QString();
    const QVariant running = QSettings().value(QStringLiteral("RunningOTBTask"));
    if (running.isValid() && running.toString() == name && passToMainDelegate)
        passToMainDelegate->disableOtb();
}

void BackupViewController::openMoreInfo(const QString& taskName)
{
    if (taskName.isEmpty())
        moreInfoTaskName_ = QString();
    else if (taskNamed(taskName))
        moreInfoTaskName_ = taskName;
    resetAndReloadTaskTable();
}

void BackupViewController::closeMoreInfo()
{
    moreInfoTaskName_ = QString();
    resetAndReloadTaskTable();
}
