// The task-action dispatcher of TaskController: every change of the task list and every
// start of a backup goes through runTask.
#include "TaskController.h"

#include "EngineLog.h"
#include "MessagePresenter.h"
#include "TaskPaths.h"
#include "TaskRunWindows.h"
#include "TaskTablePage.h"
#include "UtilityFunctions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <utility>

namespace {

// The folder an entry of a running task stands for: the entry itself when it is a folder,
// else the folder holding it.
QString inUseFolder(const QString& entry)
{
    const QString path = TaskInfo::pathPart(entry);
    if (QFileInfo(path).isDir())
        return path;
    QStringList parts = path.split('/', Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        parts.removeLast();
    return "/" + parts.join('/');
}

// One path holds the other (whole components).
bool overlaps(const QString& a, const QString& b)
{
    return TaskPaths::isInsideOrEqual(a, b) || TaskPaths::isInsideOrEqual(b, a);
}

} // namespace

qsizetype TaskController::indexOfTask(const QString& taskName) const
{
    for (qsizetype i = 0; i < TaskArray.size(); ++i)
        if (TaskArray[i]->taskName == taskName)
            return i;
    return -1;
}

TaskInfoPtr TaskController::findTask(const QString& taskName) const
{
    const qsizetype i = indexOfTask(taskName);
    return i < 0 ? nullptr : TaskArray[i];
}

bool TaskController::isExecuting(const QString& taskName) const
{
    for (const TaskInfoPtr& t : executingTasks)
        if (t->taskName == taskName)
            return true;
    return false;
}

void TaskController::reportEvent(const QString& category, const QString& action)
{
    if (windows)
        windows->reportEvent(category, action, QString());
}

bool TaskController::askIfDuplicate(const TaskInfoPtr& task, const QString& action, bool useProgress)
{
    if (indexOfTask(task->taskName) < 0)
        return false;
    duplicateNameIssue = true;
    tempData = task;
    tempAction = action;
    tempUseProgress = useProgress;
    MessageRequest question;
    question.title = tr("Information");
    question.imageName = "ic_log_info";
    question.message = tr("Task name already exists. Do you want to replace the existing task with the new one?");
    question.showSecondBtn = true;
    question.mainButtonTitle = tr("Replace");
    question.secondButtonTitle = tr("Keep Both");
    // Closing the window is a third answer: leave everything as it is.
    question.closingCancels = true;
    // Answered here directly: the presenter forwards button answers but not a dismissal.
    UtilityFunctions::showMessageView(messagePresenter, question, this);
    return true;
}

void TaskController::runTask(const TaskInfoPtr& task, const QString& action, bool useProgress)
{
    if (action == "Update") {
        refreshTaskLists();
        return;
    }
    if (!task)
        return;

    if (action == "Add") {
        if (askIfDuplicate(task, action, useProgress))
            return;
        task->taskInfoDelegate = taskInfoDelegate;
        TaskArray << task;
        saveTaskList();
        updateTaskVolumePaths(false);
        refreshTaskLists();
    } else if (action == "AddDo") {
        reportEvent("Common Action", "Do Backup (immediately)");
        if (askIfDuplicate(task, action, useProgress))
            return;
        if (!checkFilesInUse(task)) {
            qCInfo(lcEngine) << "task is executing";
            return;
        }
        TaskArray << task;
        startBackupRun(TaskArray.size() - 1, true, false);
    } else if (action == "Delete") {
        for (qsizetype i = TaskArray.size() - 1; i >= 0; --i) {
            if (TaskArray[i]->taskName != task->taskName)
                continue;
            // A deleted task must not be run by its schedule any more; a run already going goes on.
            TaskArray[i]->stopScheduleTimer();
            TaskArray.removeAt(i);
        }
        saveTaskList();
        updateTaskVolumePaths(false);
        refreshTaskLists();
    } else if (action == "Modify") {
        const qsizetype i = indexOfTask(task->taskName);
        if (i < 0)
            return;
        TaskArray[i]->stopScheduleTimer();
        task->taskInfoDelegate = taskInfoDelegate;
        TaskArray[i] = task;
        saveTaskList();
        refreshTaskLists();
    } else if (action == "ModifyDo") {
        reportEvent("Common Action", "Do Backup (immediately)");
        qsizetype i = -1;
        for (qsizetype k = 0; k < TaskArray.size(); ++k)
            if (TaskArray[k]->taskName == task->taskName)
                i = k;
        if (i < 0)
            return;
        if (!checkFilesInUse(task)) {
            qCInfo(lcEngine) << "task is executing";
            return;
        }
        TaskArray[i]->stopScheduleTimer();
        TaskArray[i] = task;
        startBackupRun(i, true, false);
    } else if (action == "Backup" || action == "ScheduleBackup") {
        const bool scheduled = action == "ScheduleBackup";
        if (!scheduled) {
            reportEvent("Common Action", "Do Backup");
            updateTaskVolumePaths(false); // rebuilds the list: find the task again by name
        }
        const qsizetype i = indexOfTask(task->taskName);
        if (i < 0)
            return;
        if (!checkFilesInUse(TaskArray[i])) {
            qCInfo(lcEngine) << "task is executing";
            return;
        }
        startBackupRun(i, false, scheduled);
    }
}

bool TaskController::checkFilesInUse(const TaskInfoPtr& task)
{
    if (!task)
        return false;
    for (const TaskInfoPtr& running : executingTasks) {
        if (running->taskName == task->taskName) {
            const auto window = runWindows_.value(running->taskName);
            if (window && windows)
                windows->representProgressSheet(window);
            return false;
        }
        if (!task->taskName.isEmpty())
            continue;
        // An item to encrypt: it must not lie in, or hold, what a running task reads or writes.
        const QString item = TaskInfo::pathPart(task->backupDest);
        bool inUse = false;
        for (const QString& source : running->backupSrc)
            inUse = inUse || overlaps(item, inUseFolder(source));
        inUse = inUse || overlaps(item, running->taskFolder());
        if (inUse) {
            UtilityFunctions::showMessageView(messagePresenter, tr("Information"), "ic_log_fail",
                                              "Execution failed, because the file is currently in use", false);
            return false;
        }
    }
    if (!task->taskName.isEmpty())
        executingTasks << task;
    return true;
}

void TaskController::removeExecutingTask(const TaskInfoPtr& task)
{
    if (!task)
        return;
    for (qsizetype i = 0; i < executingTasks.size(); ++i) {
        if (executingTasks[i]->taskName == task->taskName) {
            executingTasks.removeAt(i);
            return;
        }
    }
}

void TaskController::btnClicked(int index)
{
    if (QSettings().value("IsRunningOTB").toBool() && windows)
        windows->startOtbTimer(300);

    if (appFolderPathIssue) {
        appFolderPathIssue = false;
        QCoreApplication::exit(0);
        return;
    }
    if (!duplicateNameIssue)
        return;
    if (index == 0) {
        duplicateNameIssue = false;
        tempAction.replace("Add", "Modify");
        // The task it replaces knew what the backup folder holds; the new one, made from
        // nothing, knows no tree of it.
        const TaskInfoPtr replaced = tempData ? findTask(tempData->taskName) : nullptr;
        if (replaced)
            tempData->keepFixedSourcesOf(*replaced, tempData->readsSameBackupAs(*replaced));
        runTask(tempData, tempAction, true);
    } else if (index == 1) {
        duplicateNameIssue = false;
        if (tempData)
            tempData->taskName += "_copy";
        runTask(tempData, tempAction, tempUseProgress);
    }
}

void TaskController::messageDismissed()
{
    if (QSettings().value("IsRunningOTB").toBool() && windows)
        windows->startOtbTimer(300);
    // Only the duplicate-name question can be dismissed; a later answer to another message
    // must not act on it.
    if (!duplicateNameIssue)
        return;
    duplicateNameIssue = false;
    const TaskInfoPtr typed = std::exchange(tempData, nullptr);
    if (!typed)
        return;
    // Nothing is added; what the user typed goes back into the editor it came from.
    for (TaskTablePage* page : { BackupView, OtbView })
        if (page && page->reopenTaskEditor(typed, tempAction))
            return;
}

void TaskController::startScheduledTask(const std::shared_ptr<TaskInfo>& task)
{
    if (!task)
        return;
    const QString subtitle = "\"" + task->taskName + "\" " + tr("is started by scheduler");
    if (windows)
        windows->showUserNotification(tr("Task Started"), subtitle);
    runTask(task, "ScheduleBackup", false);
}

void TaskController::refreshTaskLists()
{
    pushTaskLists(false);
}

void TaskController::pushTaskLists(bool keepSelection)
{
    tableData = TaskArray;
    QList<TaskInfoPtr> restorable;
    for (const TaskInfoPtr& t : TaskArray)
        if (t->offeredForRestore())
            restorable << t;

    if (BackupView) {
        BackupView->setTableData(TaskArray);
        if (keepSelection)
            BackupView->reloadTaskTable();
        else
            BackupView->resetAndReloadTaskTable();
    }
    if (RestoreView) {
        RestoreView->setTableData(restorable);
        RestoreView->reloadTaskTable();
    }
    if (OtbView) {
        OtbView->setTableData(TaskArray);
        OtbView->reloadTaskTable();
    }
}
