#pragma once

#include <QString>

#include <optional>

// An exclusive lock on one task's backup for the whole of a run, so two processes (two
// sessions, the application and a script) never build, replace or read the same backup at
// once. The lock file sits beside the task folder, not inside it: a plain-copy run swaps the
// task folder whole. Its short name derives from a digest of the task name, so names of any
// length fit; it is removed when the run ends.
class TaskLock {
public:
    // Takes the lock at once or fails with a message. A restore from a volume it cannot
    // write to (nobody can back up there either) runs without one.
    static std::optional<TaskLock> acquire(const QString& destination, const QString& taskName,
                                           bool readOnlyUse, QString* error);

    TaskLock(TaskLock&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path)) { other.m_fd = -1; }
    TaskLock& operator=(TaskLock&&) = delete;
    TaskLock(const TaskLock&) = delete;
    ~TaskLock();

    static QString lockFilePath(const QString& destination, const QString& taskName);

private:
    TaskLock(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}
    int m_fd = -1;
    QString m_path;
};
