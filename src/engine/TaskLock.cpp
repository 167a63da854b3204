#include "TaskLock.h"

#include "EngineLog.h"
#include "TaskPaths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QString TaskLock::lockFilePath(const QString& destination, const QString& taskName)
{
    const QByteArray digest = QCryptographicHash::hash(taskName.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return destination + QStringLiteral("/.zorvi-lock-") + QString::fromLatin1(digest);
}

std::optional<TaskLock> TaskLock::acquire(const QString& destination, const QString& taskName, bool readOnlyUse,
                                          QString* error)
{
    const QString path = lockFilePath(destination, taskName);
    const QByteArray name = QFile::encodeName(path);
    auto failWith = [&](int err) -> std::optional<TaskLock> {
        if (error) {
            *error = err == EWOULDBLOCK
                ? QCoreApplication::translate("TaskInfo", "Another backup or restore of this task is running. Try again when it has finished.")
                : TaskPaths::writeProblem(destination, err);
        }
        return std::nullopt;
    };
    // The holder removes the file when it is done; a lock taken on a file that was removed
    // meanwhile is worth nothing, so it is taken again on the file now at that path.
    for (int attempt = 0; attempt < 10; ++attempt) {
        // Read access is enough for flock, so another user's lock file still serves.
        const int fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            const int err = errno;
            if (readOnlyUse && (err == EROFS || err == EACCES)) {
                qCInfo(lcEngine).noquote() << "No lock for a restore from a read-only place:" << path;
                return TaskLock(-1, QString());
            }
            return failWith(err);
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return failWith(err);
        }
        struct stat held, current;
        if (::fstat(fd, &held) == 0 && ::stat(name.constData(), &current) == 0 && held.st_dev == current.st_dev
            && held.st_ino == current.st_ino)
            return TaskLock(fd, path);
        ::close(fd);
    }
    return failWith(EWOULDBLOCK);
}

TaskLock::~TaskLock()
{
    if (m_fd < 0)
        return;
    ::unlink(QFile::encodeName(m_path).constData()); // still held: nobody else can be using it
    ::close(m_fd);
}
