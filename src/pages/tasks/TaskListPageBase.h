#pragma once

#include "TaskTablePage.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;
class TaskCellBase;

// What the Backup and Restore pages share: the scrolling list of task rows, rebuilt from
// tableData on every reload, with at most one row folded out. The open row follows its task
// by name, so it stays open (and in view) when the list around it changes.
class TaskListPageBase : public QWidget, public TaskTablePage {
    Q_OBJECT
public:
    QList<TaskInfoPtr> tableData; // empty until the main window fills it

    // TaskTablePage: the rows are rebuilt on the main queue, after the caller's own work.
    void setTableData(const QList<TaskInfoPtr>& tasks) override;
    void reloadTaskTable() override;

    // The row whose fold-out is open, -1 when none.
    int rowOfMoreInfo() const;
    // The rows as drawn by the last reload.
    int rowCount() const { return rows_.size(); }

protected:
    // `screenName` is reported when the page is shown; `listName` names the list widget.
    TaskListPageBase(const QString& pageName, const QString& listName, const QString& screenName, QWidget* parent);

    // The row frame and the cell inside it, made by each page.
    virtual QWidget* createRowView(QWidget* parent) = 0;
    virtual TaskCellBase* createCell(QWidget* row) = 0;
    virtual int rowHeight(bool open) const;

    TaskInfoPtr taskNamed(const QString& name) const;
    // The next reload that lists a task missing now scrolls that task into view (a task
    // being added, whatever name it ends up with).
    void revealNextNewTask();
    void rebuildRows();
    QWidget* rowWidgetAt(int row) const;
    TaskCellBase* cellWidgetAt(int row) const;
    // The page's outer layout, holding the list; pages add their own bars under it.
    QVBoxLayout* pageLayout() const { return pageLayout_; }

    void showEvent(QShowEvent* event) override;

    QString moreInfoTaskName_;

private:
    QString screenName_;
    QVBoxLayout* pageLayout_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    QWidget* listWidget_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    QList<QWidget*> rows_;
    QList<TaskCellBase*> cells_;
    bool revealPending_ = false;
    QStringList namesBeforeReveal_;
};
