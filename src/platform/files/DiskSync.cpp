#include "DiskSync.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool DiskSync::syncDirectory(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Some volumes (FUSE ones among them) cannot sync a folder; their renames are as safe as they get.
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return ok;
}

bool DiskSync::syncFileSystem(const QString& path, QString* error)
{
    // A folder is opened itself (it may be a mount point); anything else through its folder.
    struct stat st;
    const bool folder = ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
    const QString opened = folder ? path : QFileInfo(path).absolutePath();
    const int fd = ::open(QFile::encodeName(opened).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::syncfs(fd) == 0;
    const int err = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok && error)
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
    return ok;
}
