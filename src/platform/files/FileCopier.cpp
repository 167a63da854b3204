#include "FileCopier.h"

#include "FolderJobs.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// Large enough for full speed, small enough that progress and cancel stay lively.
constexpr size_t kChunk = 8u << 20;
constexpr size_t kBufferSize = 1u << 20;
// A file this large is worth handing to another thread.
constexpr off_t kHandOffFrom = 16 << 20;

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() { const int fd = m_fd; m_fd = -1; return fd; }
    void reset() { if (m_fd >= 0) ::close(m_fd); m_fd = -1; }
private:
    int m_fd;
};

bool metadataUnsupported(int err)
{
    // Volumes such as FAT keep no owner bits; that is not a failed copy.
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

// The destination cannot hold this attribute (file system, namespace reserved to root,
// value too large for it): the data is still good.
bool attributeRefused(int err)
{
    return err == ENOTSUP || err == EOPNOTSUPP || err == EPERM || err == EACCES || err == E2BIG || err == ERANGE
        || err == ENOSPC || err == EINVAL;
}

// No hard link here (FAT, another volume, too many names, first copy gone): copy instead.
bool linkRefused(int err)
{
    return err == EPERM || err == EMLINK || err == ENOTSUP || err == EOPNOTSUPP || err == EXDEV || err == ENOENT
        || err == ENOTDIR || err == EACCES;
}

std::atomic<int> g_linksRefused { 0 };

int makeLink(int fromDir, const char* from, int toDir, const char* to)
{
    if (const int refused = g_linksRefused.load(std::memory_order_relaxed)) {
        errno = refused;
        return -1;
    }
    return ::linkat(fromDir, from, toDir, to, 0);
}

bool before(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool isAclName(const char* name) { return std::strncmp(name, "system.posix_acl_", 17) == 0; }

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

bool useReadWrite(int err)
{
    return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTSUP
        || err == EBADF || err == EPERM || err == ETXTBSY;
}

std::string childPath(const std::string& parent, const char* name)
{
    std::string path = parent;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

void splitPath(const std::string& path, std::string* parent, std::string* name)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const size_t slash = p.rfind('/');
    if (slash == std::string::npos) {
        parent->assign(1, '.');
        name->swap(p);
    } else {
        *name = p.substr(slash + 1);
        p.resize(slash == 0 ? 1 : slash);
        parent->swap(p);
    }
}

bool removeAt(int dir, const char* name, const std::string& path, std::string* failedPath, int* failedErr)
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
            ok = removeAt(::dirfd(d), child.c_str(), childPath(path, child.c_str()), failedPath, failedErr);
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

// A folder whose subfolders other threads may copy; it is finished once they are done.
struct FileCopier::Folder {
    int src;
    int dst;
    int previous;
    uid_t newUid;
    gid_t newGid;
    Result result = Result::Ok;   // of the handed-off entries, guarded by Shared::mutex
};

struct FileCopier::Task {
    Folder* parent;
    std::string name;
    std::string srcPath;
    struct stat st;
};

struct FileCopier::Shared {
    std::mutex mutex;                  // guards what follows, up to `stop`
    QString error;                     // the first failure
    QStringList skipped;
    QStringList notes;
    std::atomic<bool> stop { false };  // a failure: every thread stops
    std::atomic<bool> linksRefused { false };
    std::atomic<qint64> linked { 0 };
    // The copier of each thread of the running copy, by worker index.
    std::vector<FileCopier*> copiers;
    // The first folder copied, set before any folder is handed off: meeting it again means
    // dst lies inside src.
    bool hasRoot = false;
    dev_t rootDev = 0;
    ino_t rootIno = 0;
    // Names of one file stay one file: a file with several names is copied with this held,
    // so no two threads copy it at once. Source inode -> its first copy.
    std::mutex linksMutex;
    struct CopyOf { std::string path; dev_t dev; ino_t ino; off_t size; struct timespec mtime; };
    std::map<std::pair<dev_t, ino_t>, CopyOf> copies;
    std::mutex deferredMutex;
    std::vector<FolderAttributes> deferred;
};

FileCopier::FileCopier() : m_shared(std::make_shared<Shared>()) {}
FileCopier::~FileCopier() = default;

FileCopier::FileCopier(const FileCopier& owner)
    : m_shared(owner.m_shared)
    , m_cancel(owner.m_cancel)
    , m_counter(owner.m_counter)
    , m_deferFolders(owner.m_deferFolders)
    , m_dropInheritedAcls(owner.m_dropInheritedAcls)
    , m_srcRoot(owner.m_srcRoot)
    , m_dstRoot(owner.m_dstRoot)
    , m_dstRootName(owner.m_dstRootName)
    , m_previousSince(owner.m_previousSince)
{
}

void FileCopier::setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }
void FileCopier::setByteCounter(std::atomic<qint64>* counter) { m_counter = counter; }
void FileCopier::setDeferFolderAttributes(bool defer) { m_deferFolders = defer; }

std::vector<FileCopier::FolderAttributes> FileCopier::takeDeferredFolders()
{
    std::lock_guard lock(m_shared->deferredMutex);
    return std::exchange(m_shared->deferred, {});
}
void FileCopier::setFollowTopLink(bool follow) { m_followTopLink = follow; }
void FileCopier::setPreviousCopy(const QString& previous) { m_previous = QFile::encodeName(previous).toStdString(); }
qint64 FileCopier::linkedFiles() const { return m_shared->linked.load(); }
void FileCopier::setHardLinksRefused(int err) { g_linksRefused.store(err); }

QString FileCopier::errorString() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->error;
}

QStringList FileCopier::skippedSpecialFiles() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->skipped;
}

QStringList FileCopier::notes() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->notes;
}

void FileCopier::note(const QString& text)
{
    std::lock_guard lock(m_shared->mutex);
    if (!m_shared->notes.contains(text))
        m_shared->notes << text;
}

bool FileCopier::cancelled() const
{
    return (m_cancel && m_cancel->load(std::memory_order_relaxed)) || m_shared->stop.load(std::memory_order_relaxed);
}

FileCopier::Result FileCopier::failedWith(const QString& message)
{
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->error.isEmpty())
        m_shared->error = message;
    m_shared->stop = true;
    return Result::Failed;
}

FileCopier::Result FileCopier::failed(const char* what, const std::string& path, int err)
{
    return failedWith(QStringLiteral("%1 \"%2\": %3")
                          .arg(QString::fromUtf8(what), QFile::decodeName(QByteArray::fromStdString(path)),
                               errnoText(err)));
}

FileCopier::Result FileCopier::copy(const QString& src, const QString& dst)
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->error.clear();
        m_shared->skipped.clear();
        m_shared->notes.clear();
        m_shared->hasRoot = false;
        m_shared->stop = false;
    }
    const std::string srcPath = QFile::encodeName(src).toStdString();
    const std::string dstPath = QFile::encodeName(dst).toStdString();
    if (srcPath.empty() || dstPath.empty())
        return failedWith(QStringLiteral("No source or destination path was given."));
    std::string dstParent, dstName;
    splitPath(dstPath, &dstParent, &dstName);
    Fd parent(::open(dstParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0)
        return failed("Cannot open the folder", dstParent, errno);
    struct stat existing;
    if (::fstatat(parent.get(), dstName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return failed("Cannot copy to", dstPath, EEXIST);
    std::string realParent = dstParent;
    if (char* real = ::realpath(dstParent.c_str(), nullptr)) {
        realParent = real;
        ::free(real);
    }
    m_dstRoot = realParent == "/" ? "/" + dstName : realParent + "/" + dstName;
    m_dstRootName = dst;
    m_srcRoot = srcPath;
    // Whatever the copies inherit from here is not what the sources have.
    m_dropInheritedAcls = ::fgetxattr(parent.get(), "system.posix_acl_default", nullptr, 0) > 0;

    std::string openPath = srcPath;
    struct stat srcStat;
    bool haveStat = ::lstat(srcPath.c_str(), &srcStat) == 0;
    if (haveStat && m_followTopLink && S_ISLNK(srcStat.st_mode)) {
        char* real = ::realpath(srcPath.c_str(), nullptr);
        if (!real)
            return failed("Cannot follow the link", srcPath, errno);
        openPath = real;
        ::free(real);
        haveStat = ::stat(openPath.c_str(), &srcStat) == 0;
    }
    if (haveStat && S_ISDIR(srcStat.st_mode)) {
        // Walk up from the destination: meeting the source means a copy into itself.
        std::string up = realParent;
        for (;;) {
            struct stat st;
            if (::stat(up.c_str(), &st) == 0 && st.st_dev == srcStat.st_dev && st.st_ino == srcStat.st_ino) {
                return failedWith(QStringLiteral("Cannot copy the folder \"%1\" into itself.").arg(src));
            }
            if (up == "/" || up.empty())
                break;
            std::string parentOfUp, ignored;
            splitPath(up, &parentOfUp, &ignored);
            if (parentOfUp == up)
                break;
            up.swap(parentOfUp);
        }
    }
    if (cancelled())
        return Result::Cancelled;

    // The earlier copy is good for this one call only.
    std::string previousParent, previousName;
    if (!m_previous.empty())
        splitPath(m_previous, &previousParent, &previousName);
    m_previous.clear();
    const Fd previous(previousName.empty() || m_shared->linksRefused
                          ? -1 : ::open(previousParent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct statx begun {};
    m_previousSince = {};
    if (previous.get() >= 0
        && ::statx(previous.get(), previousName.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &begun) == 0
        && (begun.stx_mask & STATX_BTIME))
        m_previousSince = {begun.stx_btime.tv_sec, begun.stx_btime.tv_nsec};
    m_previousDir = previous.get();
    m_previousTop = previousName.c_str();
    m_topParent = parent.get();
    if (previous.get() >= 0)
        noteNewOwner(parent.get());
    const auto forget = qScopeGuard([this] {
        m_previousDir = -1;
        m_previousTop = nullptr;
        m_topParent = -1;
    });

    // A tree is copied by a few threads: many small files go several times as fast, and
    // large ones no slower. Each thread has a copier of its own, with its own buffers.
    FolderJobs jobs(haveStat && S_ISDIR(srcStat.st_mode) ? 4 : 1);
    std::vector<std::unique_ptr<FileCopier>> helpers;
    m_shared->copiers.assign(1, this);
    for (unsigned i = 1; i < jobs.threads(); ++i) {
        helpers.emplace_back(new FileCopier(*this));
        m_shared->copiers.push_back(helpers.back().get());
    }
    Result result = Result::Failed;
    const FolderJobs::Failures thrown = jobs.run([&](FolderJobs::Worker& worker) {
        m_worker = &worker;
        result = copyEntry(AT_FDCWD, openPath.c_str(), nullptr, parent.get(), dstName.c_str(), srcPath);
    });
    m_worker = nullptr;
    m_shared->copiers.clear();
    if (thrown.count > 0)
        result = failedWith(QStringLiteral("Cannot copy \"%1\": %2").arg(src, QString::fromStdString(thrown.first)));
    // Another thread's failure stopped this one.
    if (result == Result::Cancelled && !(m_cancel && m_cancel->load()) && !errorString().isEmpty())
        result = Result::Failed;
    if (result != Result::Ok) {
        std::string failedPath;
        int failedErr = 0;
        removeAt(parent.get(), dstName.c_str(), dstPath, &failedPath, &failedErr);
        forgetCopiesBelow(m_dstRoot);
    }
    return result;
}

std::string FileCopier::dstPathOf(const std::string& srcPath) const
{
    // Below the top, copies carry the names of their sources.
    std::string rel = srcPath.substr(std::min(m_srcRoot.size(), srcPath.size()));
    if (!rel.empty() && rel.front() != '/')
        rel.insert(0, 1, '/');
    return m_dstRoot + rel;
}

void FileCopier::forgetCopiesBelow(const std::string& dstPath)
{
    const std::string below = dstPath + '/';
    std::lock_guard lock(m_shared->linksMutex);
    std::erase_if(m_shared->copies, [&](const auto& entry) {
        const std::string& p = entry.second.path;
        return p == dstPath || p.compare(0, below.size(), below) == 0;
    });
}

bool FileCopier::linkToEarlierCopy(const struct stat& st, int dstDir, const char* dstName, Result* result,
                                   const std::string& srcPath)
{
    // The caller holds linksMutex.
    const auto it = m_shared->copies.find({st.st_dev, st.st_ino});
    if (it == m_shared->copies.end())
        return false;
    int err = ENOENT;
    struct stat there;
    // The path must still hold the copy we wrote, not whatever came there since: a freed
    // inode number is soon given again, so its length and time must match too.
    const Shared::CopyOf& earlier = it->second;
    if (::fstatat(AT_FDCWD, earlier.path.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && there.st_dev == earlier.dev
        && there.st_ino == earlier.ino && there.st_size == earlier.size && there.st_mtim.tv_sec == earlier.mtime.tv_sec
        && there.st_mtim.tv_nsec == earlier.mtime.tv_nsec) {
        if (makeLink(AT_FDCWD, earlier.path.c_str(), dstDir, dstName) == 0) {
            *result = Result::Ok;
            return true;
        }
        err = errno;
    }
    m_shared->copies.erase(it);
    if (!linkRefused(err)) {
        *result = failed("Cannot link the copy of", srcPath, err);
        return true;
    }
    if (!m_linkNoteGiven) {
        m_linkNoteGiven = true;
        note(QStringLiteral("Hard links could not be kept on %1 (%2); their files were copied separately.")
                 .arg(m_dstRootName, errnoText(err)));
    }
    return false;
}

void FileCopier::rememberCopy(const struct stat& srcSt, int out, const std::string& srcPath)
{
    struct stat copied;
    if (::fstat(out, &copied) == 0)
        rememberCopy(srcSt, copied, srcPath);
}

void FileCopier::rememberCopy(const struct stat& srcSt, const struct stat& copied, const std::string& srcPath)
{
    m_shared->copies[{srcSt.st_dev, srcSt.st_ino}] =
        Shared::CopyOf{dstPathOf(srcPath), copied.st_dev, copied.st_ino, copied.st_size, copied.st_mtim};
}

const char* FileCopier::previousName(int dstDir, const char* dstName) const
{
    // Below the top, the earlier copy's names are those of the new one.
    return dstDir == m_topParent ? m_previousTop : dstName;
}

void FileCopier::noteNewOwner(int dstDir)
{
    struct stat st;
    m_newUid = ::geteuid();
    m_newGid = ::fstat(dstDir, &st) == 0 && (st.st_mode & S_ISGID) ? st.st_gid : ::getegid();
}

bool FileCopier::unchangedSince(const struct stat& src, const struct stat& earlier) const
{
    // Attributes and ACLs change the source's ctime only: the source must not have changed
    // since the earlier copy was begun (since it was last linked, where that is unknown).
    const struct timespec& since = m_previousSince.tv_sec != 0 ? m_previousSince : earlier.st_ctim;
    return S_ISREG(earlier.st_mode) && earlier.st_mode == src.st_mode && earlier.st_size == src.st_size
        && earlier.st_mtim.tv_sec == src.st_mtim.tv_sec && earlier.st_mtim.tv_nsec == src.st_mtim.tv_nsec
        && earlier.st_uid == m_newUid && earlier.st_gid == m_newGid && before(src.st_ctim, since);
}

int FileCopier::linkFromPrevious(const struct stat& st, int dstDir, const char* dstName, const std::string& srcPath)
{
    const char* name = previousName(dstDir, dstName);
    struct stat earlier;
    if (::fstatat(m_previousDir, name, &earlier, AT_SYMLINK_NOFOLLOW) != 0 || !unchangedSince(st, earlier))
        return 0;
    Result result = Result::Ok;
    if (st.st_nlink > 1 && linkToEarlierCopy(st, dstDir, dstName, &result, srcPath))
        return result == Result::Ok ? 1 : -1;
    if (makeLink(m_previousDir, name, dstDir, dstName) != 0) {
        const int err = errno;
        // Too many names for that file already, or gone since: copy this one.
        if (err == EMLINK || err == ENOENT || err == EACCES)
            return 0;
        if (err == EPERM || err == EXDEV || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS) {
            m_shared->linksRefused = true;
            note(QStringLiteral("Hard links cannot be made on %1 (%2); unchanged files are copied again.")
                     .arg(m_dstRootName, errnoText(err)));
            return 0;
        }
        failed("Cannot link the earlier copy of", srcPath, err);
        return -1;
    }
    m_shared->linked.fetch_add(1, std::memory_order_relaxed);
    if (m_counter)
        m_counter->fetch_add(st.st_size, std::memory_order_relaxed);
    if (st.st_nlink > 1)
        rememberCopy(st, earlier, srcPath);
    return 1;
}

FileCopier::Result FileCopier::copyEntry(int srcDir, const char* srcName, const struct stat* known, int dstDir,
                                         const char* dstName, const std::string& srcPath)
{
    if (cancelled())
        return Result::Cancelled;
    struct stat st;
    if (!known) {
        if (::fstatat(srcDir, srcName, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return failed("Cannot read", srcPath, errno);
        known = &st;
    }
    if (S_ISREG(known->st_mode))
        return copyFile(srcDir, srcName, dstDir, dstName, srcPath);
    if (S_ISDIR(known->st_mode)) {
        if (m_shared->hasRoot && known->st_dev == m_shared->rootDev && known->st_ino == m_shared->rootIno)
            return failedWith(QStringLiteral("Cannot copy the folder \"%1\" into itself.")
                                  .arg(QFile::decodeName(QByteArray::fromStdString(srcPath))));
        return copyDirectory(srcDir, srcName, *known, dstDir, dstName, srcPath);
    }
    if (S_ISLNK(known->st_mode))
        return copyLink(srcDir, srcName, *known, dstDir, dstName, srcPath);
    std::lock_guard lock(m_shared->mutex);
    m_shared->skipped << QFile::decodeName(QByteArray::fromStdString(srcPath));
    return Result::Ok;
}

FileCopier::Result FileCopier::copyFile(int srcDir, const char* srcName, int dstDir, const char* dstName,
                                        const std::string& srcPath)
{
    // Held while a file with several names is handled, so only one thread copies it.
    std::unique_lock links(m_shared->linksMutex, std::defer_lock);
    if (m_previousDir >= 0 && !m_shared->linksRefused.load(std::memory_order_relaxed)) {
        struct stat st;
        if (::fstatat(srcDir, srcName, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
            if (st.st_nlink > 1)
                links.lock();
            const int linked = linkFromPrevious(st, dstDir, dstName, srcPath);
            if (linked != 0)
                return linked > 0 ? Result::Ok : Result::Failed;
        }
    }
    // O_NONBLOCK: a FIFO swapped in after the listing must not hang the copy.
    Fd in(::openat(srcDir, srcName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (in.get() < 0) {
        if (errno == ELOOP) {   // became a link since it was listed
            struct stat st;
            if (::fstatat(srcDir, srcName, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                if (links.owns_lock())
                    links.unlock();
                return copyEntry(srcDir, srcName, &st, dstDir, dstName, srcPath);
            }
        }
        return failed("Cannot read", srcPath, errno);
    }
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return failed("Cannot read", srcPath, errno);
    if (!S_ISREG(st.st_mode)) {
        in.reset();
        if (links.owns_lock())
            links.unlock();
        return copyEntry(srcDir, srcName, &st, dstDir, dstName, srcPath);
    }
    Result result = Result::Ok;
    if (st.st_nlink > 1 && !links.owns_lock())
        links.lock();
    if (st.st_nlink > 1 && linkToEarlierCopy(st, dstDir, dstName, &result, srcPath))
        return result;
    Fd out(::openat(dstDir, dstName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return failed("Cannot create a copy of", srcPath, errno);
    bool holesUnsupported = true;
    // Fewer blocks than bytes: there are holes worth keeping.
    if (qint64(st.st_blocks) * 512 < qint64(st.st_size))
        result = copySparseData(in.get(), out.get(), st, srcPath, &holesUnsupported);
    if (holesUnsupported)
        result = copyData(in.get(), out.get(), srcPath);
    if (result != Result::Ok)
        return result;
    result = setMetadata(in.get(), out.get(), st, srcPath);
    if (result != Result::Ok)
        return result;
    if (st.st_nlink > 1)
        rememberCopy(st, out.get(), srcPath);
    if (::close(out.release()) != 0)
        return failed("Cannot write the copy of", srcPath, errno);
    return Result::Ok;
}

FileCopier::Result FileCopier::copySparseData(int in, int out, const struct stat& st, const std::string& srcPath,
                                              bool* unsupported)
{
    *unsupported = false;
    const off_t size = st.st_size;
    off_t pos = 0;
    while (pos < size) {
        const off_t data = ::lseek(in, pos, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)   // only a hole is left
                break;
            if (pos == 0 && (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP)) {
                *unsupported = true;
                return Result::Ok;
            }
            return failed("Cannot read", srcPath, errno);
        }
        if (data >= size)
            break;
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0)
            return failed("Cannot read", srcPath, errno);
        hole = std::min(hole, size);
        const Result result = writeSegment(in, out, data, hole - data, srcPath);
        if (result != Result::Ok)
            return result;
        pos = hole;
    }
    // Sets the length, so a trailing hole stays a hole.
    if (::ftruncate(out, size) != 0)
        return failed("Cannot write the copy of", srcPath, errno);
    return Result::Ok;
}

FileCopier::Result FileCopier::writeSegment(int in, int out, off_t offset, off_t length, const std::string& srcPath)
{
    off_t inOff = offset;
    off_t outOff = offset;
    const off_t end = offset + length;
    while (inOff < end) {
        if (cancelled())
            return Result::Cancelled;
        const size_t want = size_t(std::min<off_t>(end - inOff, off_t(kChunk)));
        const ssize_t n = ::copy_file_range(in, &inOff, out, &outOff, want, 0);
        if (n > 0) {
            if (m_counter)
                m_counter->fetch_add(n, std::memory_order_relaxed);
            continue;
        }
        if (n == 0)   // shrunk since
            return Result::Ok;
        if (errno == EINTR)
            continue;
        if (!useReadWrite(errno))
            return failed("Cannot copy", srcPath, errno);
        break;
    }

    return bufferedCopy(in, out, &inOff, &outOff, end, srcPath);
}

FileCopier::Result FileCopier::setMetadata(int in, int out, const struct stat& st, const std::string& srcPath)
{
    if (m_xattrNames.empty()) {
        m_xattrNames.resize(4096);
        m_xattrValue.resize(4096);
    }
    size_t listed = 0;
    for (;;) {
        const ssize_t n = ::flistxattr(in, m_xattrNames.data(), m_xattrNames.size());
        if (n >= 0) {
            listed = size_t(n);
            break;
        }
        if (errno == ERANGE) {
            const ssize_t need = ::flistxattr(in, nullptr, 0);
            if (need < 0)
                return failed("Cannot read the extended attributes of", srcPath, errno);
            m_xattrNames.resize(std::max(size_t(need), m_xattrNames.size() * 2));
            continue;
        }
        if (errno == ENOTSUP || errno == EOPNOTSUPP)
            break;
        return failed("Cannot read the extended attributes of", srcPath, errno);
    }

    // Other attributes go on while the copy is still writable by us (user.* needs that);
    // ACLs after the chmod, which would otherwise rewrite their mask.
    bool accessAcl = false;
    bool defaultAcl = false;
    Result result = Result::Ok;
    if (listed > 0 && (result = copyXattrs(in, out, listed, false, &accessAcl, &defaultAcl, srcPath)) != Result::Ok)
        return result;
    const bool deferred = m_deferFolders && S_ISDIR(st.st_mode);
    const mode_t mode = (st.st_mode & 07777) | (deferred ? S_IRWXU : 0);
    if (::fchmod(out, mode) != 0 && !metadataUnsupported(errno))
        return failed("Cannot set the permissions of the copy of", srcPath, errno);
    if (listed > 0 && (result = copyXattrs(in, out, listed, true, &accessAcl, &defaultAcl, srcPath)) != Result::Ok)
        return result;
    if (deferred) {
        // An access ACL sets the owner's bits too.
        if ((accessAcl || defaultAcl) && ::fchmod(out, mode) != 0 && !metadataUnsupported(errno))
            return failed("Cannot set the permissions of the copy of", srcPath, errno);
        std::lock_guard lock(m_shared->deferredMutex);
        m_shared->deferred.push_back(FolderAttributes{dstPathOf(srcPath), mode_t(st.st_mode & 07777), st.st_mtim});
    }
    if (m_dropInheritedAcls) {
        if (!accessAcl)
            ::fremovexattr(out, "system.posix_acl_access");
        if (!defaultAcl && S_ISDIR(st.st_mode))
            ::fremovexattr(out, "system.posix_acl_default");
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out, times) != 0 && !metadataUnsupported(errno))
        return failed("Cannot set the times of the copy of", srcPath, errno);
    return Result::Ok;
}

FileCopier::Result FileCopier::copyXattrs(int in, int out, size_t listed, bool acls, bool* hadAccessAcl,
                                          bool* hadDefaultAcl, const std::string& srcPath)
{
    for (size_t i = 0; i < listed;) {
        const char* name = m_xattrNames.data() + i;
        const size_t length = strnlen(name, listed - i);
        i += length + 1;
        if (length == 0 || isAclName(name) != acls)
            continue;
        if (acls) {
            *hadAccessAcl = *hadAccessAcl || std::strcmp(name, "system.posix_acl_access") == 0;
            *hadDefaultAcl = *hadDefaultAcl || std::strcmp(name, "system.posix_acl_default") == 0;
        }
        ssize_t n;
        for (;;) {
            n = ::fgetxattr(in, name, m_xattrValue.data(), m_xattrValue.size());
            if (n >= 0 || errno != ERANGE)
                break;
            const ssize_t need = ::fgetxattr(in, name, nullptr, 0);
            if (need < 0)
                break;
            m_xattrValue.resize(std::max(size_t(need), m_xattrValue.size() * 2));
        }
        int err = errno;
        if (n < 0 && err == ENODATA)   // removed since it was listed
            continue;
        if (n >= 0 && ::fsetxattr(out, name, m_xattrValue.data(), size_t(n), 0) == 0)
            continue;
        if (n >= 0)
            err = errno;
        if (!attributeRefused(err))
            return failed(n < 0 ? "Cannot read the extended attributes of" : "Cannot keep the extended attributes of",
                          srcPath, err);
        note(QStringLiteral("Extended attributes could not be kept on %1: %2").arg(m_dstRootName, errnoText(err)));
    }
    return Result::Ok;
}

FileCopier::Result FileCopier::copyData(int in, int out, const std::string& srcPath)
{
    bool kernelCopy = true;
    qint64 total = 0;
    while (kernelCopy) {
        if (total > 0 && cancelled())
            return Result::Cancelled;
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (n > 0) {
            total += n;
            if (m_counter)
                m_counter->fetch_add(n, std::memory_order_relaxed);
            continue;
        }
        if (n == 0) {
            // Pseudo files may stop the kernel copy at once whatever their size: read to be sure.
            if (total == 0)
                kernelCopy = false;
            else
                return Result::Ok;
        } else if (errno == EINTR) {
            continue;
        } else if (useReadWrite(errno)) {
            kernelCopy = false;
        } else {
            return failed("Cannot copy", srcPath, errno);
        }
    }

    return bufferedCopy(in, out, nullptr, nullptr, 0, srcPath);
}

FileCopier::Result FileCopier::bufferedCopy(int in, int out, off_t* inOff, off_t* outOff, off_t end,
                                            const std::string& srcPath)
{
    if (!m_buffer)
        m_buffer.reset(new char[kBufferSize]);
    size_t sinceCheck = 0;
    for (;;) {
        size_t want = kBufferSize;
        if (inOff) {
            if (*inOff >= end)
                return Result::Ok;
            want = size_t(std::min<off_t>(end - *inOff, off_t(kBufferSize)));
        }
        const ssize_t n = inOff ? ::pread(in, m_buffer.get(), want, *inOff) : ::read(in, m_buffer.get(), want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failed("Cannot read", srcPath, errno);
        }
        if (n == 0)
            return Result::Ok;
        ssize_t done = 0;
        while (done < n) {
            const char* from = m_buffer.get() + done;
            const ssize_t w = outOff ? ::pwrite(out, from, size_t(n - done), *outOff + done)
                                     : ::write(out, from, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return failed("Cannot write the copy of", srcPath, errno);
            }
            done += w;
        }
        if (inOff) {
            *inOff += n;
            *outOff += n;
        }
        if (m_counter)
            m_counter->fetch_add(n, std::memory_order_relaxed);
        sinceCheck += size_t(n);
        if (sinceCheck >= kChunk) {
            sinceCheck = 0;
            if (cancelled())
                return Result::Cancelled;
        }
    }
}

FileCopier::Result FileCopier::copyDirectory(int srcDir, const char* srcName, const struct stat& st, int dstDir,
                                             const char* dstName, const std::string& srcPath)
{
    Fd src(::openat(srcDir, srcName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (src.get() < 0)
        return failed("Cannot read the folder", srcPath, errno);
    if (::mkdirat(dstDir, dstName, 0700) != 0)
        return failed("Cannot create the copy of the folder", srcPath, errno);
    Fd dst(::openat(dstDir, dstName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dst.get() < 0)
        return failed("Cannot open the copy of the folder", srcPath, errno);
    if (!m_shared->hasRoot) {
        // Remember the new top folder (before any other thread starts): meeting it again
        // means dst lies inside src.
        struct stat root;
        if (::fstat(dst.get(), &root) == 0) {
            m_shared->rootDev = root.st_dev;
            m_shared->rootIno = root.st_ino;
            m_shared->hasRoot = true;
        }
    }
    // Unchanged files below come from the earlier copy of this folder, where there is one.
    const int outerPrevious = m_previousDir;
    const uid_t outerUid = m_newUid;
    const gid_t outerGid = m_newGid;
    const Fd previous(outerPrevious >= 0 && !m_shared->linksRefused
                          ? ::openat(outerPrevious, previousName(dstDir, dstName), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                          : -1);
    m_previousDir = previous.get();
    if (previous.get() >= 0)
        noteNewOwner(dst.get());
    const auto restore = qScopeGuard([&] {
        m_previousDir = outerPrevious;
        m_newUid = outerUid;
        m_newGid = outerGid;
    });

    DIR* d = ::fdopendir(src.get());
    if (!d)
        return failed("Cannot read the folder", srcPath, errno);
    src.release();
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(d, ::closedir);
    const int dfd = ::dirfd(d);
    Folder folder{dfd, dst.get(), m_previousDir, m_newUid, m_newGid};
    // Declared last: whatever happens, the handed-off entries are done before what they use goes.
    FolderJobs::Group handedOff(*m_worker);
    bool anyHandedOff = false;
    Result result = Result::Ok;
    for (;;) {
        errno = 0;
        dirent* e = ::readdir(d);
        if (!e) {
            if (errno != 0)
                result = failed("Cannot read the folder", srcPath, errno);
            break;
        }
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        const std::string path = childPath(srcPath, name);
        // Subfolders, and large files, go to a helper thread that has nothing to do.
        if ((e->d_type == DT_DIR || e->d_type == DT_REG) && m_worker->othersIdle() && !cancelled()) {
            struct stat sub;
            if (::fstatat(dfd, name, &sub, AT_SYMLINK_NOFOLLOW) == 0
                && (S_ISDIR(sub.st_mode) || (S_ISREG(sub.st_mode) && sub.st_size >= kHandOffFrom))
                && handOff(handedOff, folder, name, sub, path)) {
                anyHandedOff = true;
                continue;
            }
        }
        // For plain files the fstat after open is enough; spare a stat call.
        result = e->d_type == DT_REG ? (cancelled() ? Result::Cancelled : copyFile(dfd, name, dst.get(), name, path))
                                     : copyEntry(dfd, name, nullptr, dst.get(), name, path);
        if (result != Result::Ok)
            break;
    }
    if (anyHandedOff) {
        handedOff.wait();
        if (folder.result == Result::Failed || (result == Result::Ok && folder.result != Result::Ok))
            result = folder.result;
        if (handedOff.failures().count > 0)
            result = failedWith(QStringLiteral("Cannot copy \"%1\": %2")
                                    .arg(QFile::decodeName(QByteArray::fromStdString(srcPath)),
                                         QString::fromStdString(handedOff.failures().first)));
    }
    // Set after the contents: writing into the folder would move its time again, and a
    // default ACL set earlier would be handed down to children that never had it.
    if (result == Result::Ok)
        result = setMetadata(dfd, dst.get(), st, srcPath);
    return result;
}

bool FileCopier::handOff(FolderJobs::Group& group, Folder& folder, const char* name, const struct stat& st,
                         const std::string& srcPath)
{
    return group.offer([shared = m_shared.get(), task = Task{&folder, name, srcPath, st}](FolderJobs::Worker& worker) {
        shared->copiers.at(worker.index())->copyHandedOff(task, worker);
    });
}

void FileCopier::copyHandedOff(const Task& task, FolderJobs::Worker& worker)
{
    // This thread may be inside a folder of its own: what it was filling comes back after.
    m_worker = &worker;
    const int outerPrevious = m_previousDir;
    const uid_t outerUid = m_newUid;
    const gid_t outerGid = m_newGid;
    const auto restore = qScopeGuard([&] {
        m_previousDir = outerPrevious;
        m_newUid = outerUid;
        m_newGid = outerGid;
    });
    Folder& parent = *task.parent;
    m_previousDir = parent.previous;
    m_newUid = parent.newUid;
    m_newGid = parent.newGid;
    const Result result = copyEntry(parent.src, task.name.c_str(), &task.st, parent.dst, task.name.c_str(), task.srcPath);
    std::lock_guard lock(m_shared->mutex);
    if (result == Result::Failed || (result != Result::Ok && parent.result == Result::Ok))
        parent.result = result;
}

FileCopier::Result FileCopier::copyLink(int srcDir, const char* srcName, const struct stat& st, int dstDir,
                                        const char* dstName, const std::string& srcPath)
{
    std::string target(size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(srcDir, srcName, target.data(), target.size());
        if (n < 0)
            return failed("Cannot read the link", srcPath, errno);
        if (size_t(n) < target.size()) {
            target.resize(size_t(n));
            break;
        }
        target.resize(target.size() * 2);
    }
    if (::symlinkat(target.c_str(), dstDir, dstName) != 0)
        return failed("Cannot create the copy of the link", srcPath, errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(dstDir, dstName, times, AT_SYMLINK_NOFOLLOW) != 0 && !metadataUnsupported(errno))
        return failed("Cannot set the times of the copy of", srcPath, errno);
    return Result::Ok;
}

bool FileCopier::removeAll(const QString& path, QString* error)
{
    const std::string p = QFile::encodeName(path).toStdString();
    std::string parent, name;
    splitPath(p, &parent, &name);
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
