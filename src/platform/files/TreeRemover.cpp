#include "TreeRemover.h"

#include "FolderJobs.h"
#include "PathParts.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Unlinks every file below the open folder `fd` (taken over), its subfolders on other
// threads. Folders stay, emptied, and failures are left for the serial pass, which removes
// what is left and says what it could not.
void emptyFolder(FolderJobs::Worker& worker, int fd)
{
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    const int dfd = ::dirfd(d);
    std::vector<std::pair<std::string, unsigned char>> names;
    while (dirent* entry = ::readdir(d)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        names.emplace_back(name, entry->d_type);
    }
    for (const auto& [name, type] : names) {
        if (type != DT_DIR && type != DT_UNKNOWN && ::unlinkat(dfd, name.c_str(), 0) == 0)
            continue;
        const int child = ::openat(dfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0)
            continue;
        struct stat st;
        if (::fstat(child, &st) == 0 && (st.st_mode & 0700) != 0700)
            ::fchmod(child, (st.st_mode & 07777) | 0700);
        worker.add([child](FolderJobs::Worker& next) { emptyFolder(next, child); });
    }
    ::closedir(d);
}

void emptyInParallel(int dir, const char* name)
{
    const int top = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (top < 0)
        return;
    struct stat st;
    if (::fstat(top, &st) == 0 && (st.st_mode & 0700) != 0700)
        ::fchmod(top, (st.st_mode & 07777) | 0700);
    FolderJobs().run([top](FolderJobs::Worker& worker) { emptyFolder(worker, top); });
}

} // namespace

bool TreeRemover::removeAt(int dir, const char* name, const std::string& path, std::string* failedPath, int* failedErr)
{
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return true;
        *failedPath = path;
        *failedErr = errno;
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        const int fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            *failedPath = path;
            *failedErr = errno;
            return false;
        }
        // A read-only folder that is going away anyway must let its entries go.
        if ((st.st_mode & 0700) != 0700)
            ::fchmod(fd, (st.st_mode & 07777) | 0700);
        DIR* d = ::fdopendir(fd);
        if (!d) {
            *failedPath = path;
            *failedErr = errno;
            ::close(fd);
            return false;
        }
        bool ok = true;
        std::vector<std::pair<std::string, bool>> names;   // name, known not to be a folder
        errno = 0;
        while (dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            names.emplace_back(e->d_name, e->d_type != DT_DIR && e->d_type != DT_UNKNOWN);
        }
        if (errno != 0) {
            *failedPath = path;
            *failedErr = errno;
            ok = false;
        }
        for (const auto& [child, plain] : names) {
            if (!ok)
                break;
            // The listing's type spares a stat per file; a folder swapped in since says EISDIR.
            if (plain && (::unlinkat(::dirfd(d), child.c_str(), 0) == 0 || errno == ENOENT))
                continue;
            ok = removeAt(::dirfd(d), child.c_str(), PathParts::child(path, child.c_str()), failedPath, failedErr);
        }
        ::closedir(d);
        if (!ok)
            return false;
        if (::unlinkat(dir, name, AT_REMOVEDIR) != 0) {
            *failedPath = path;
            *failedErr = errno;
            return false;
        }
        return true;
    }
    if (::unlinkat(dir, name, 0) != 0 && errno != ENOENT) {
        *failedPath = path;
        *failedErr = errno;
        return false;
    }
    return true;
}

bool TreeRemover::removeAll(const QString& path, QString* error)
{
    const std::string p = QFile::encodeName(path).toStdString();
    std::string parent, name;
    PathParts::split(p, &parent, &name);
    if (p.empty() || name.empty() || name == "/" || name == "." || name == "..") {
        if (error)
            *error = QStringLiteral("Refusing to remove \"%1\".").arg(path);
        return false;
    }
    const int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        if (errno == ENOENT)
            return true;
        if (error)
            *error = QStringLiteral("Cannot remove \"%1\": %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        emptyInParallel(dir, name.c_str());
    std::string failedPath;
    int failedErr = 0;
    const bool ok = removeAt(dir, name.c_str(), p, &failedPath, &failedErr);
    ::close(dir);
    if (!ok && error)
        *error = QStringLiteral("Cannot remove \"%1\": %2")
                     .arg(QFile::decodeName(QByteArray::fromStdString(failedPath)),
                          QString::fromLocal8Bit(std::strerror(failedErr)));
    return ok;
}
