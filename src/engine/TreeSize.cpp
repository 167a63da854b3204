#include "TreeSize.h"

#include "EngineLog.h"
#include "FolderJobs.h"

#include <QFile>

#include <atomic>
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

struct Sum {
    TreeSize::Measure measure = TreeSize::Measure::Apparent;
    TreeSize::SeenInodes* seen = nullptr;
    std::mutex seenMutex;
    std::atomic<qint64> total { 0 };
};

// Walks the open folder `fd` (taking ownership); its subfolders go to other threads, each
// entered once the folder has been read to its end.
void walk(FolderJobs::Worker& worker, Sum& sum, int fd)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    qint64 total = 0;
    std::vector<std::string> subfolders;
    while (struct dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (e->d_type == DT_DIR) {
            subfolders.emplace_back(name);
            continue;
        }
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
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
    for (const std::string& name : subfolders) {
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) {
            qCDebug(lcEngine) << "cannot enter" << QString::fromStdString(name);
            continue;
        }
        worker.add([&sum, child](FolderJobs::Worker& next) { walk(next, sum, child); });
    }
    ::closedir(dir); // closes fd
}

} // namespace

bool TreeSize::sumBelow(const QString& path, Measure measure, qint64& total, SeenInodes* seen)
{
    total = 0;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    Sum sum;
    sum.measure = measure;
    sum.seen = seen;
    FolderJobs().run([&sum, fd](FolderJobs::Worker& worker) { walk(worker, sum, fd); });
    total = sum.total;
    return true;
}
