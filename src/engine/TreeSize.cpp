#include "TreeSize.h"

#include "FolderJobs.h"
#include "WorkFolder.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

qint64 measureOf(const struct stat& st, TreeSize::Measure measure)
{
    return measure == TreeSize::Measure::Apparent ? qint64(st.st_size) : qint64(st.st_blocks) * 512;
}

QString problem(const std::string& path, const QString& reason)
{
    return QStringLiteral("%1: %2").arg(QFile::decodeName(QByteArray::fromStdString(path)), reason);
}

QString problem(const std::string& path, int err)
{
    return problem(path, QString::fromLocal8Bit(std::strerror(err)));
}

struct Sum {
    TreeSize::Measure measure = TreeSize::Measure::Apparent;
    TreeSize::SeenInodes* seen = nullptr;
    std::mutex seenMutex;
    std::atomic<qint64> total { 0 };
    std::mutex unreadableMutex;
    QStringList unreadable;
    QStringList workFolders;   // guarded by unreadableMutex

    void cannotRead(const std::string& path, int err)
    {
        const QString line = problem(path, err);
        std::lock_guard lock(unreadableMutex);
        unreadable << line;
    }
};

// Walks the open folder `fd` (taking ownership) known as `path`; its subfolders go to other
// threads, each entered once the folder has been read to its end. Something gone since it
// was listed is not a failure: it holds nothing any more.
void walk(FolderJobs::Worker& worker, Sum& sum, int fd, const std::string& path)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        sum.cannotRead(path, errno);
        ::close(fd);
        return;
    }
    qint64 total = 0;
    int firstError = 0;   // of this folder's own listing and entries
    std::vector<std::string> subfolders;
    for (;;) {
        errno = 0;
        const struct dirent* e = ::readdir(dir);
        if (!e) {
            if (errno != 0 && firstError == 0)
                firstError = errno;
            break;
        }
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (e->d_type == DT_DIR) {
            subfolders.emplace_back(name);
            continue;
        }
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT && firstError == 0)
                firstError = errno;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            subfolders.emplace_back(name);
        } else if (!sum.seen || st.st_nlink < 2 || !S_ISREG(st.st_mode)) {
            total += measureOf(st, sum.measure);
        } else {
            std::lock_guard lock(sum.seenMutex);
            if (sum.seen->insert({st.st_dev, st.st_ino}).second)
                total += measureOf(st, sum.measure);
        }
    }
    sum.total += total;
    if (firstError != 0)
        sum.cannotRead(path, firstError);
    for (const std::string& name : subfolders) {
        std::string childPath = path + '/' + name;
        if (WorkFolder::isWorkFolderAt(fd, name.c_str())) {
            std::lock_guard lock(sum.unreadableMutex);
            sum.workFolders << QFile::decodeName(QByteArray::fromStdString(childPath));
            continue;
        }
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) {
            if (errno != ENOENT)
                sum.cannotRead(childPath, errno);
            continue;
        }
        worker.add([&sum, child, childPath = std::move(childPath)](FolderJobs::Worker& next) {
            walk(next, sum, child, childPath);
        });
    }
    ::closedir(dir); // closes fd
}

} // namespace

bool TreeSize::sumBelow(const QString& path, Measure measure, qint64& total, SeenInodes* seen, QStringList* unreadable,
                        QStringList* workFolders)
{
    total = 0;
    const std::string top = QFile::encodeName(path).toStdString();
    const int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (unreadable && errno != ENOENT)
            *unreadable << problem(top, errno);
        return false;
    }
    Sum sum;
    sum.measure = measure;
    sum.seen = seen;
    const FolderJobs::Failures failed =
        FolderJobs().run([&sum, fd, &top](FolderJobs::Worker& worker) { walk(worker, sum, fd, top); });
    total = sum.total;
    if (workFolders)
        *workFolders << sum.workFolders;
    if (unreadable) {
        *unreadable << sum.unreadable;
        // A walk that threw leaves the rest of its folder and everything below it uncounted.
        for (int i = 0; i < failed.count; ++i)
            *unreadable << problem(top, QStringLiteral("a folder below could not be measured (%1)")
                                            .arg(QString::fromStdString(failed.first)));
    }
    return true;
}
