// The backup and restore runs of TaskController: window, engine call on the background
// queue, and the finishing step back on the GUI thread.
#include "TaskController.h"

#include "DispatchQueue.h"
#include "EngineLog.h"
#include "ProgressReceiver.h"
#include "TaskRunWindows.h"
#include "UtilityFunctions.h"

#include <QPointer>

namespace {
const QString kCancelMarker = QStringLiteral("_userCanceled");

// The engine works on a record of its own: the GUI thread goes on copying and replacing the
// list's records (re-mapping, edits) while the engine writes its results into this one.
TaskInfoPtr runRecord(const TaskInfoPtr& listed)
{
    TaskInfoPtr record = UtilityFunctions::copyTaskInfo(listed);
    record->stopScheduleTimer(); // the listed record keeps the schedule
    return record;
}
} // namespace

std::shared_ptr<ProgressReceiver> TaskController::presentProgressSheet(const TaskInfoPtr& task, const QString& title,
                                                                       const QString& imageName, const QString& status)
{
    if (!windows)
        return nullptr;
    auto sheet = windows->presentProgressSheet(task, title, imageName, status);
    if (sheet)
        progressView = sheet;
    return sheet;
}

void TaskController::showRunMessage(const QString& taskName, bool ok, const QString& errorText, bool backup)
{
    if (errorText == kCancelMarker)
        return;
    QString message = "\"" + taskName + "\" ";
    if (ok) {
        message += backup ? tr("backup complete") : tr("restoration complete");
        // What a backup that went through still has to say (folders it could not measure).
        if (backup && !errorText.isEmpty())
            message += "\n" + errorText;
    } else
        message += (backup ? tr("backup failed") : tr("restoration failed")) + "\n" + errorText;
    UtilityFunctions::showMessageView(messagePresenter, tr("Information"), ok ? "ic_log_success" : "ic_log_fail",
                                      message, false);
}

TaskInfoPtr TaskController::recordOutcome(const RunPtr& run, bool backup)
{
    const bool ok = run->result.value_or(false);
    const TaskInfoPtr& done = run->task;
    if (backup)
        done->backupStatus = ok ? 1 : -1;
    else
        done->restoreStatus = ok ? 1 : -1;

    // The list may have been rebuilt (volume re-mapping, an edit) while the engine worked:
    // the outcome belongs to the record that carries the name now, so the saved list has it.
    const TaskInfoPtr current = findTask(done->taskName);
    if (current && current != done) {
        if (backup) {
            current->backupStatus = done->backupStatus;
            if (ok) {
                current->lastBackupDate = done->lastBackupDate;
                // What the backup holds now, for the record that restores from that backup: an
                // edit to another destination or mode reads another one.
                if (current->readsSameBackupAs(*done)) {
                    current->fixedSourcePaths = done->fixedSourcePaths;
                    current->fixedSourceIdentities = done->fixedSourceIdentities;
                }
            }
        } else {
            current->restoreStatus = done->restoreStatus;
        }
    }
    return current;
}

void TaskController::cancelAllRuns()
{
    for (const std::weak_ptr<TaskInfo>& weak : std::as_const(runRecords_)) {
        if (const TaskInfoPtr record = weak.lock())
            record->BackupRestoreCancel = true;
    }
    runRecords_.clear();
}

// ---------------------------------------------------------------- backup

void TaskController::startBackupRun(qsizetype taskIndex, bool refreshFirst, bool withoutProgressWindow)
{
    // No pause between saving and re-mapping: nothing depends on one.
    if (refreshFirst) {
        saveTaskList();
        updateTaskVolumePaths(false);
        refreshTaskLists();
    }
    if (taskIndex < 0 || taskIndex >= TaskArray.size())
        return;
    const TaskInfoPtr listed = TaskArray[taskIndex];
    listed->taskInfoDelegate = taskInfoDelegate;
    auto run = std::make_shared<Run>();
    run->task = runRecord(listed);
    runRecords_.removeIf([](const std::weak_ptr<TaskInfo>& w) { return w.expired(); });
    runRecords_ << run->task;

    if (!withoutProgressWindow) {
        run->window = presentProgressSheet(run->task, tr("Backup"), "ic_log_backup", tr("Backup Processing..."));
        if (run->window)
            runWindows_.insert(run->task->taskName, run->window);
    }
    currentBackupRestoreTask = run->task;
    QPointer<TaskController> self(this);
    DispatchQueue::background().async([self, run] { runBackupJob(self, run); });
}

void TaskController::runBackupJob(QPointer<TaskController> self, const RunPtr& run)
{
    // Only the engine call and the run's own values are touched here.
    QString errorText;
    run->result = run->task->performBackup(run->window.get(), errorText);
    run->errorText = errorText;
    DispatchQueue::main().async([self, run] {
        if (self)
            self->finishBackup(run);
    });
}

void TaskController::closeRunWindow(const RunPtr& run)
{
    if (!run->window)
        return;
    if (windows)
        windows->dismissProgressSheet(run->window);
    if (runWindows_.value(run->task->taskName) == run->window)
        runWindows_.remove(run->task->taskName);
}

void TaskController::finishBackup(const RunPtr& run)
{
    const QString name = run->task->taskName;
    closeRunWindow(run);
    recordOutcome(run, true);
    showRunMessage(name, run->result.value_or(false), run->errorText, true);
    if (currentBackupRestoreTask == run->task)
        currentBackupRestoreTask = nullptr;
    saveTaskList();
    updateTaskVolumePaths(false);
    refreshTaskLists();
    removeExecutingTask(run->task);
}

// ---------------------------------------------------------------- restore

void TaskController::restoreTask(const TaskInfoPtr& task, const QString& action)
{
    if (action == "Update") {
        refreshTaskLists();
        return;
    }
    if (action != "Restore" || !task)
        return;
    reportEvent("Common Action", "Do Restore");
    // Re-mapping touches the list, so it happens here, on the GUI thread, before the engine
    // call goes to the background.
    updateTaskVolumePaths(false);
    const TaskInfoPtr current = findTask(task->taskName);
    if (!current)
        return;
    if (current->function == 3) {
        askRestorePassword(current);
        return;
    }
    startRestoreRun(current, QString(), false);
}

bool TaskController::startRestoreRun(const TaskInfoPtr& task, const QString& password, bool encrypted)
{
    // A task is never restored while it is backed up (or restored) already: the backup would
    // read half-restored sources, the restore a half-written backup.
    if (!checkFilesInUse(task)) {
        qCInfo(lcEngine) << "task is executing";
        return false;
    }
    auto run = std::make_shared<Run>();
    run->task = runRecord(task);
    runRecords_.removeIf([](const std::weak_ptr<TaskInfo>& w) { return w.expired(); });
    runRecords_ << run->task;
    run->password = password;
    // The window carries the record the engine works on, so its Cancel stops the restore.
    run->window = presentProgressSheet(run->task, tr("Restore"), "ic_log_restore", tr("Restore Processing..."));
    if (run->window)
        runWindows_.insert(task->taskName, run->window);
    currentBackupRestoreTask = run->task;
    QPointer<TaskController> self(this);
    if (encrypted)
        DispatchQueue::background().async([self, run] { runPasswordRestoreJob(self, run); });
    else
        DispatchQueue::background().async([self, run] { runRestoreJob(self, run); });
    return true;
}

void TaskController::runRestoreJob(QPointer<TaskController> self, const RunPtr& run)
{
    QString errorText;
    run->result = run->task->performRestore(run->password, run->window.get(), errorText);
    run->errorText = errorText;
    DispatchQueue::main().async([self, run] {
        if (self)
            self->finishRestore(run);
    });
}

void TaskController::askRestorePassword(const TaskInfoPtr& task)
{
    itemForDecryptRestore = task;
    restorePromptOpen_ = true;
    if (windows)
        windows->askRestorePassword(task);
    else
        restorePasswordPromptClosed();
}

void TaskController::restorePasswordPromptClosed()
{
    if (!restorePromptOpen_)
        return; // OK was pressed: the restore owns the task now
    restorePromptOpen_ = false;
    itemForDecryptRestore = nullptr;
}

void TaskController::finishRestore(const RunPtr& run)
{
    const QString name = run->task->taskName;
    closeRunWindow(run);
    recordOutcome(run, false);
    showRunMessage(name, run->result.value_or(false), run->errorText, false);
    if (currentBackupRestoreTask == run->task)
        currentBackupRestoreTask = nullptr;
    saveTaskList();
    refreshTaskLists();
    removeExecutingTask(run->task);
}

void TaskController::restoreWithPassword(const QString& password)
{
    // Only the dialog opened for this restore may start it, and only once.
    if (!restorePromptOpen_ || !itemForDecryptRestore)
        return;
    restorePromptOpen_ = false;
    updateTaskVolumePaths(false);
    const TaskInfoPtr current = findTask(itemForDecryptRestore->taskName);
    if (!current) {
        itemForDecryptRestore = nullptr;
        return;
    }
    itemForDecryptRestore = current;
    if (!startRestoreRun(current, password, true))
        itemForDecryptRestore = nullptr; // refused: nothing is waiting for it any more
}

void TaskController::runPasswordRestoreJob(QPointer<TaskController> self, const RunPtr& run)
{
    QString errorText;
    run->result = run->task->performRestore(run->password, run->window.get(), errorText);
    run->errorText = errorText;
    DispatchQueue::main().async([self, run] {
        if (self)
            self->finishPasswordRestore(run);
    });
}

void TaskController::finishPasswordRestore(const RunPtr& run)
{
    finishRestore(run);
    itemForDecryptRestore = nullptr;
}
