#include "BackupViewController.h"

#include "AddTaskBoxViewController.h"
#include "BackupSendTaskDelegate.h"
#include "BackupTableRowView.h"
#include "ControlStyle.h"
#include "DispatchQueue.h"
#include "GoogleReporter.h"
#include "MyCell.h"
#include "UtilityFunctions.h"
#include "circleButton.h"
#include "getPasswordViewController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
constexpr int kRowHeight = 80;
constexpr int kOpenRowHeight = 160;
const QColor kListBackground(227, 227, 227);
} // namespace

BackupViewController::BackupViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("BackupViewController"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#BackupViewController { background: %1; }").arg(ControlStyle::css(kListBackground)));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    scrollArea_ = new QScrollArea(this);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listWidget_ = new QWidget;
    listWidget_->setObjectName(QStringLiteral("backupTableView"));
    listWidget_->setAttribute(Qt::WA_StyledBackground);
    listWidget_->setStyleSheet(QStringLiteral("#backupTableView { background: %1; }").arg(ControlStyle::css(kListBackground)));
    listLayout_ = new QVBoxLayout(listWidget_);
    listLayout_->setContentsMargins(0, 0, 0, 0);
    listLayout_->setSpacing(0);
    listLayout_->addStretch(1);
    scrollArea_->setWidget(listWidget_);
    layout->addWidget(scrollArea_, 1);

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
    layout->addLayout(bar);
    connect(addBtn, &QPushButton::clicked, this, &BackupViewController::addTask);
}

BackupViewController::~BackupViewController() = default;

void BackupViewController::embed(QObject* mainWindow)
{
    passToMainDelegate = dynamic_cast<BackupSendTaskDelegate*>(mainWindow);
    if (passToMainDelegate)
        passToMainDelegate->runTask(nullptr, QStringLiteral("Update"), true);
}

void BackupViewController::setTableData(const QList<TaskInfoPtr>& tasks)
{
    tableData = tasks;
}

void BackupViewController::reloadTaskTable()
{
    QPointer<BackupViewController> guard(this);
    DispatchQueue::main().async([guard] {
        if (guard)
            guard->rebuildRows();
    });
}

void BackupViewController::resetAndReloadTaskTable()
{
    // The name chosen for Modify is kept: an encrypted task's password may still be awaited,
    // and the answer finds its task again by that name.
    reloadTaskTable();
}

TaskInfoPtr BackupViewController::taskNamed(const QString& name) const
{
    for (const TaskInfoPtr& task : tableData) {
        if (task && task->taskName == name)
            return task;
    }
    return nullptr;
}

int BackupViewController::rowOfMoreInfo() const
{
    if (moreInfoTaskName_.isNull())
        return -1;
    for (int i = 0; i < tableData.size(); ++i) {
        if (tableData.at(i) && tableData.at(i)->taskName == moreInfoTaskName_)
            return i;
    }
    return -1;
}

MyCell* BackupViewController::cellAt(int row) const
{
    return row >= 0 && row < cells_.size() ? cells_.at(row) : nullptr;
}

BackupTableRowView* BackupViewController::rowViewAt(int row) const
{
    return row >= 0 && row < rows_.size() ? rows_.at(row) : nullptr;
}

void BackupViewController::rebuildRows()
{
    for (BackupTableRowView* row : std::as_const(rows_)) {
        listLayout_->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    rows_.clear();
    cells_.clear();

    const int open = rowOfMoreInfo();
    for (int i = 0; i < tableData.size(); ++i) {
        const TaskInfoPtr& task = tableData.at(i);
        if (!task)
            continue;
        auto* row = new BackupTableRowView(listWidget_);
        auto* rowLayout = new QVBoxLayout(row);
        rowLayout->setContentsMargins(8, 4, 8, 4);
        auto* cell = new MyCell(row);
        cell->myDelegate = this;
        cell->fill(task, i == open);
        rowLayout->addWidget(cell);
        row->setFixedHeight(i == open ? kOpenRowHeight : kRowHeight);
        listLayout_->insertWidget(listLayout_->count() - 1, row);
        rows_.append(row);
        cells_.append(cell);
    }
    if (open >= 0 && open < rows_.size()) {
        listLayout_->activate();
        scrollArea_->ensureWidgetVisible(rows_.at(open), 0, 0);
    }
}

void BackupViewController::sendTask(const TaskInfoPtr& task, const QString& action)
{
    if (passToMainDelegate)
        passToMainDelegate->runTask(task, action, true);
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

void BackupViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        GoogleReporter::shared().screenView(QStringLiteral("Backup View"));
}
