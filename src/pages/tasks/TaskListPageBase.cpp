#include "TaskListPageBase.h"

#include "ControlStyle.h"
#include "DispatchQueue.h"
#include "GoogleReporter.h"
#include "TaskCellBase.h"

#include <QPointer>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kRowHeight = 80;
constexpr int kOpenRowHeight = 160;
const QColor kListBackground(227, 227, 227);
} // namespace

TaskListPageBase::TaskListPageBase(const QString& pageName, const QString& listName, const QString& screenName,
                                   QWidget* parent)
    : QWidget(parent)
    , screenName_(screenName)
{
    const QString background = ControlStyle::css(kListBackground);
    setObjectName(pageName);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#%1 { background: %2; }").arg(pageName, background));

    pageLayout_ = new QVBoxLayout(this);
    pageLayout_->setContentsMargins(0, 0, 0, 0);
    pageLayout_->setSpacing(0);

    scrollArea_ = new QScrollArea(this);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listWidget_ = new QWidget;
    listWidget_->setObjectName(listName);
    listWidget_->setAttribute(Qt::WA_StyledBackground);
    listWidget_->setStyleSheet(QStringLiteral("#%1 { background: %2; }").arg(listName, background));
    listLayout_ = new QVBoxLayout(listWidget_);
    listLayout_->setContentsMargins(0, 0, 0, 0);
    listLayout_->setSpacing(0);
    listLayout_->addStretch(1);
    scrollArea_->setWidget(listWidget_);
    pageLayout_->addWidget(scrollArea_, 1);
}

int TaskListPageBase::rowHeight(bool open) const
{
    return open ? kOpenRowHeight : kRowHeight;
}

TaskInfoPtr TaskListPageBase::taskNamed(const QString& name) const
{
    for (const TaskInfoPtr& task : tableData) {
        if (task && task->taskName == name)
            return task;
    }
    return nullptr;
}

int TaskListPageBase::rowOfMoreInfo() const
{
    if (moreInfoTaskName_.isNull())
        return -1;
    for (int i = 0; i < tableData.size(); ++i) {
        if (tableData.at(i) && tableData.at(i)->taskName == moreInfoTaskName_)
            return i;
    }
    return -1;
}

QWidget* TaskListPageBase::rowWidgetAt(int row) const
{
    return row >= 0 && row < rows_.size() ? rows_.at(row) : nullptr;
}

TaskCellBase* TaskListPageBase::cellWidgetAt(int row) const
{
    return row >= 0 && row < cells_.size() ? cells_.at(row) : nullptr;
}

void TaskListPageBase::setTableData(const QList<TaskInfoPtr>& tasks)
{
    tableData = tasks;
}

void TaskListPageBase::reloadTaskTable()
{
    QPointer<TaskListPageBase> guard(this);
    DispatchQueue::main().async([guard] {
        if (guard)
            guard->rebuildRows();
    });
}

void TaskListPageBase::rebuildRows()
{
    for (QWidget* row : std::as_const(rows_)) {
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
        QWidget* row = createRowView(listWidget_);
        auto* rowLayout = new QVBoxLayout(row);
        rowLayout->setContentsMargins(8, 4, 8, 4);
        TaskCellBase* cell = createCell(row);
        cell->fill(task, i == open);
        rowLayout->addWidget(cell);
        row->setFixedHeight(rowHeight(i == open));
        listLayout_->insertWidget(listLayout_->count() - 1, row);
        row->show(); // now, not when the layout gets round to it, so the list height counts it
        rows_.append(row);
        cells_.append(cell);
    }
    int shown = open;
    if (revealPending_) {
        for (int i = 0; i < rows_.size(); ++i) {
            if (!namesBeforeReveal_.contains(cells_.at(i)->taskName())) {
                shown = i;
                revealPending_ = false;
                break;
            }
        }
    }
    if (shown >= 0 && shown < rows_.size()) {
        // The scroll area sizes the list later; it must have the new height before scrolling.
        listLayout_->activate();
        const QSize viewport = scrollArea_->viewport()->size();
        listWidget_->resize(viewport.width(), std::max(viewport.height(), listWidget_->minimumSizeHint().height()));
        scrollArea_->ensureWidgetVisible(rows_.at(shown), 0, 0);
    }
}

void TaskListPageBase::revealNextNewTask()
{
    namesBeforeReveal_.clear();
    for (const TaskInfoPtr& task : std::as_const(tableData))
        if (task)
            namesBeforeReveal_.append(task->taskName);
    revealPending_ = true;
}

void TaskListPageBase::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        GoogleReporter::shared().screenView(screenName_);
}
