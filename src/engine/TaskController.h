#pragma once

#include "TaskInfo.h"
#include "TaskInfoDelegate.h"
#include "messageViewDelegate.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class ProgressReceiver;
class TaskRunWindows;
class TaskTablePage;

// The task-management half of the main window controller, free of widgets: the task list,
// its encrypted file and the re-pointing of tasks at the volumes mounted now.
//
// Public members, so the window (and the dispatcher and run files that extend it) can reach
// the list directly. Not thread-safe: call it from one thread (the GUI thread) and hop there
// from background work; only the engine calls of the runs go to the background, each on the
// record it was given.
//
// The dispatcher and the runs (TaskControllerDispatch.cpp, TaskControllerRuns.cpp) reach the
// windows through `windows`, the pages through BackupView/RestoreView/OtbView, and show their
// messages with `messagePresenter` as presenter; answers come back to btnClicked.
class TaskController : public QObject, public messageViewDelegate, public TaskInfoDelegate {
    Q_OBJECT
public:
    explicit TaskController(TaskInfoDelegate* delegate = nullptr, QObject* parent = nullptr);
    ~TaskController();
    TaskController(const TaskController&) = delete;
    TaskController& operator=(const TaskController&) = delete;

    // The tasks in the order the user sees them; the file mirrors this list.
    QList<TaskInfoPtr> TaskArray;
    // Cipher key and IV of the task-list file (TaskListCipher's fixed pair).
    QByteArray key;
    QByteArray iv;
    // Set on every task loaded or rebuilt here; told when a schedule falls due.
    TaskInfoDelegate* taskInfoDelegate = nullptr;
    // Called by updateTaskVolumePaths(true) once the list is rebuilt and saved.
    std::function<void()> refreshTaskListsKeepSelection;

    // Documents/"MorvantekZorvi" and the task-list file inside it.
    static QString taskListFolder();
    static QString taskListPath();

    // Another file for the list than taskListPath(), in a folder that exists (a benchmark keeps
    // its task apart from the user's list); empty goes back to taskListPath().
    void setTaskListFile(const QString& path) { listFile_ = path; }

    // Reads and deciphers the file. Never fails outward: a missing file gives an empty list;
    // a file that cannot be read, deciphered or understood is renamed to
    // "metadata.meta.bad-<timestamp>" beside it and an empty list is returned. Does not
    // assign TaskArray.
    QList<TaskInfoPtr> loadTaskList();

    // Writes TaskArray atomically (temporary file, fsync, rename), mode 0600, creating the
    // folder when missing. False (with a printed line) when nothing was written.
    bool saveTaskList();

    // Re-points tagged sources and destinations at the volume now carrying their identity,
    // then saves. Volumes whose identity is empty, "#" or found on two mounted volumes are
    // left out. With `refresh`, calls refreshTaskListsKeepSelection afterwards (at once:
    // nothing waits on the calling thread).
    void updateTaskVolumePaths(bool refresh);

    // The task editor has just given the drive mounted at `root`, which showed no identity,
    // the identity `identity`: the entries and trees of every task that recorded it there with
    // none take it too, and the list is saved, so no task is left on a drive that is gone.
    void driveIdentityGiven(const QString& root, const QString& identity);

    // ------------------------------------------------------------ dispatcher
    // Not owned; set by the window before the first action.
    TaskRunWindows* windows = nullptr;
    // The presenter of the message windows shown here (the main window in the application);
    // when it is a messageViewDelegate it must forward btnClicked to this controller.
    QObject* messagePresenter = this;
    // The pages that list tasks; null until wired. Not owned.
    TaskTablePage* BackupView = nullptr;
    TaskTablePage* RestoreView = nullptr;
    TaskTablePage* OtbView = nullptr;

    QList<TaskInfoPtr> tableData;      // TaskArray as of the last refresh
    QList<TaskInfoPtr> executingTasks; // named tasks whose run was admitted and has not finished
    // The progress window shown last (encrypt and decrypt runs reuse it).
    std::shared_ptr<ProgressReceiver> progressView;

    // The duplicate-name question waiting for its answer.
    TaskInfoPtr tempData;
    QString tempAction;
    bool tempUseProgress = false;
    bool duplicateNameIssue = false;
    // The message asking to install the application properly is open.
    bool appFolderPathIssue = false;

    // Action words: "Add", "AddDo", "Delete", "Modify", "ModifyDo", "Backup",
    // "ScheduleBackup", "Update"; anything else, or a null task with any word but "Update",
    // does nothing. A name that is not in the list does nothing either.
    void runTask(const TaskInfoPtr& task, const QString& action, bool useProgress);
    // True when the run may start (a named task then counts as executing). A task already
    // running brings its window back; an unnamed task (an item to encrypt, in backupDest)
    // is refused with a message when it overlaps what a running task reads or writes.
    bool checkFilesInUse(const TaskInfoPtr& task);
    void removeExecutingTask(const TaskInfoPtr& task);
    bool isExecuting(const QString& taskName) const;
    void btnClicked(int index) override;
    // The duplicate-name question was closed without an answer: nothing is added or replaced,
    // and the page that sent the task opens its editor again with it (TaskTablePage).
    void messageDismissed() override;
    void startScheduledTask(const std::shared_ptr<TaskInfo>& task) override;
    // Pushes the lists to the pages: Backup and One-Touch Backup get every task, Restore the
    // tasks whose last backup succeeded. The Backup page's selection is cleared.
    // (refreshTaskListsKeepSelection, above, keeps it.)
    void refreshTaskLists();

    // First index of the task with this name, or -1.
    qsizetype indexOfTask(const QString& taskName) const;
    TaskInfoPtr findTask(const QString& taskName) const;

    // ------------------------------------------------------------ runs
    // What one run carries from its start to its finishing step.
    struct Run {
        TaskInfoPtr task;                          // the engine's own copy of the listed record
        std::shared_ptr<ProgressReceiver> window;  // null: a scheduled run
        QString password;                          // encrypted restore only
        std::optional<bool> result;
        QString errorText;
    };
    using RunPtr = std::shared_ptr<Run>;

    // Asks every run still going to stop (at quit, so the process can end without leaving
    // a half-written copy in place of the previous one).
    void cancelAllRuns();

    // The task of the password dialog now open for an encrypted restore.
    TaskInfoPtr itemForDecryptRestore;
    // The task whose engine call is in flight (the newest run's).
    TaskInfoPtr currentBackupRestoreTask;

    // Presents a run's progress window through `windows` and remembers it as progressView.
    std::shared_ptr<ProgressReceiver> presentProgressSheet(const TaskInfoPtr& task, const QString& title,
                                                           const QString& imageName, const QString& status);
    // The caller has admitted the task (checkFilesInUse). With refreshFirst the list is saved,
    // re-mapped and refreshed first; withoutProgressWindow is the scheduled run's.
    void startBackupRun(qsizetype taskIndex, bool refreshFirst, bool withoutProgressWindow);
    // "Update" refreshes the lists; "Restore" restores the task of that name.
    void restoreTask(const TaskInfoPtr& task, const QString& action);
    // The answer of the restore's password dialog; nothing unless that dialog is open.
    void restoreWithPassword(const QString& password);
    // The restore's password dialog closed; without an OK the remembered task is forgotten.
    void restorePasswordPromptClosed();

    // Steps of the runs. The background jobs touch only their run; they hand it to the
    // finishing step on the GUI thread, which is skipped when the controller is gone.
    static void runBackupJob(QPointer<TaskController> owner, const RunPtr& run);
    void finishBackup(const RunPtr& run);
    static void runRestoreJob(QPointer<TaskController> owner, const RunPtr& run);
    void askRestorePassword(const TaskInfoPtr& task);
    void finishRestore(const RunPtr& run);
    static void runPasswordRestoreJob(QPointer<TaskController> owner, const RunPtr& run);
    void finishPasswordRestore(const RunPtr& run);

private:
    void closeRunWindow(const RunPtr& run); // dismisses a finished run's window and forgets it
    QList<std::weak_ptr<TaskInfo>> runRecords_; // the engine records of the runs started so far
    void setAside(const QString& path);
    void pushTaskLists(bool keepSelection);
    bool askIfDuplicate(const TaskInfoPtr& task, const QString& action, bool useProgress);
    void reportEvent(const QString& category, const QString& action);
    void showRunMessage(const QString& taskName, bool ok, const QString& errorText, bool backup);
    // Writes a run's outcome into the record now in the list under that name.
    TaskInfoPtr recordOutcome(const RunPtr& run, bool backup);
    bool startRestoreRun(const TaskInfoPtr& task, const QString& password, bool encrypted);

    QHash<QString, std::shared_ptr<ProgressReceiver>> runWindows_; // by task name
    bool restorePromptOpen_ = false;
    bool fileSetAsideFailed_ = false; // an unreadable file is still in place: never overwrite it
    QString listFile_;                // set by setTaskListFile
    QString listFolder() const;
    QString listPath() const;
};
