#pragma once

#include "TaskInfo.h"

#include <QList>

// A page that lists tasks (Backup, Restore, One-Touch Backup): the main window pushes the
// list and asks for a reload after every change.
class TaskTablePage {
public:
    virtual ~TaskTablePage() = default;
    virtual void setTableData(const QList<TaskInfoPtr>& tasks) = 0;
    virtual void reloadTaskTable() = 0;                            // keeps the selection
    virtual void resetAndReloadTaskTable() { reloadTaskTable(); }  // clears it
    // The question about a new task whose name is taken was closed without an answer. The
    // page whose task editor handed `typed` over opens the editor again, filled with it, so
    // nothing typed is lost, and answers true; any other page answers false.
    virtual bool reopenTaskEditor(const TaskInfoPtr& typed, const QString& action) { return false; }
};
