#include "RestoreViewController.h"

#include "ControlStyle.h"
#include "DispatchQueue.h"
#include "GoogleReporter.h"
#include "RestoreSendTaskDelegate.h"
#include "RestoreTableRowView.h"
#include "UtilityFunctions.h"
#include "restoreTableCell.h"

#include <QPointer>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
constexpr int kRowHeight = 80;
constexpr int kOpenRowHeight = 160;
} // namespace

RestoreViewController::RestoreViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("RestoreViewController"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#RestoreViewController { background: rgb(227, 227, 227); }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scrollArea_ = new QScrollArea(this);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listWidget_ = new QWidget;
    listWidget_->setObjectName(QStringLiteral("restoreTableView"));
    listWidget_->setAttribute(Qt::WA_StyledBackground);
    listWidget_->setStyleSheet(QStringLiteral("#restoreTableView { background: rgb(227, 227, 227); }"));
    listLayout_ = new QVBoxLayout(listWidget_);
    listLayout_->setContentsMargins(0, 0, 0, 0);
    listLayout_->setSpacing(0);
    listLayout_->addStretch(1);
    scrollArea_->setWidget(listWidget_);
    layout->addWidget(scrollArea_);
}

void RestoreViewController::embed(QObject* mainWindow)
{
    passToMainDelegate = dynamic_cast<RestoreSendTaskDelegate*>(mainWindow);
    if (passToMainDelegate)
        passToMainDelegate->restoreTask(nullptr, QStringLiteral("Update"));
}

void RestoreViewController::setTableData(const QList<TaskInfoPtr>& tasks)
{
    tableData = tasks;
}

void RestoreViewController::reloadTaskTable()
{
    QPointer<RestoreViewController> guard(this);
    DispatchQueue::main().async([guard] {
        if (guard)
            guard->rebuildRows();
    });
}

TaskInfoPtr RestoreViewController::taskNamed(const QString& name) const
{
    for (const TaskInfoPtr& task : tableData) {
        if (task && task->taskName == name)
            return task;
    }
    return nullptr;
}

int RestoreViewController::rowOfMoreInfo() const
{
    if (moreInfoTaskName_.isNull())
        return -1;
    for (int i = 0; i < tableData.size(); ++i) {
        if (tableData.at(i) && tableData.at(i)->taskName == moreInfoTaskName_)
            return i;
    }
    return -1;
}

restoreTableCell* RestoreViewController::cellAt(int row) const
{
    return row >= 0 && row < cells_.size() ? cells_.at(row) : nullptr;
}

RestoreTableRowView* RestoreViewController::rowViewAt(int row) const
{
    return row >= 0 && row < rows_.size() ? rows_.at(row) : nullptr;
}

void RestoreViewController::rebuildRows()
{
    for (RestoreTableRowView* row : std::as_const(rows_)) {
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
        auto* row = new RestoreTableRowView(listWidget_);
        auto* rowLayout = new QVBoxLayout(row);
        rowLayout->setContentsMargins(8, 4, 8, 4);
        auto* cell = new restoreTableCell(row);
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

void RestoreViewController::restoreRow(const QString& taskName)
{
    const TaskInfoPtr task = taskNamed(taskName);
    if (!task || !passToMainDelegate)
        return;
    if (task->function == 3) {
        // The password question that follows is the confirmation.
        passToMainDelegate->restoreTask(task, QStringLiteral("Restore"));
        return;
    }
    // A restore puts the backup in place of the current files: ask first.
    pendingRestoreName_ = taskName;
    UtilityFunctions::showMessageView(this, QString(), QStringLiteral("ic_log_lable"),
                                      tr("Restoring replaces the current files with those of the backup \"%1\". Do you want to continue?")
                                          .arg(taskName),
                                      true);
}

void RestoreViewController::btnClicked(int index)
{
    const QString name = pendingRestoreName_;
    pendingRestoreName_.clear();
    if (index != 0)
        return;
    const TaskInfoPtr task = taskNamed(name);
    if (task && passToMainDelegate)
        passToMainDelegate->restoreTask(task, QStringLiteral("Restore"));
}

void RestoreViewController::moreInfoRow(const QString& taskName)
{
    moreInfoTaskName_ = QString();
    if (taskNamed(taskName))
        moreInfoTaskName_ = taskName;
    reloadTaskTable();
}

void RestoreViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        GoogleReporter::shared().screenView(QStringLiteral("Restore View"));
}
