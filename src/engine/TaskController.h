#pragma once

#include "TaskInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class TaskInfoDelegate;

// The task-management half of the main window controller, free of widgets: the task list,
// its encrypted file and the re-pointing of tasks at the volumes mounted now.
//
// A plain class with public members, so the window (and the dispatcher and run files that
// extend it) can reach the list directly. Not thread-safe: call it from one thread (the GUI
// thread) and hop there from background work.
class TaskController {
public:
    explicit TaskController(TaskInfoDelegate* delegate = nullptr);
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

private:
    void setAside(const QString& path);
    bool fileSetAsideFailed_ = false; // an unreadable file is still in place: never overwrite it
};
