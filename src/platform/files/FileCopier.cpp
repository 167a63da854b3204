#include "FileCopier.h"

#include "PathParts.h"
#include "TreeRemover.h"
#include "WorkFolder.h"

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

} // namespace

// A folder whose subfolders other threads may copy; it is finished once they are done.
struct FileCopier::Folder {
    int src;
    int dst;
    int previous;
    uid_t newUid;
    gid_t newGid;
    Result result = Result::Ok;   // of the handed-off entries, guarded by Shared::resultsMutex
};

struct FileCopier::Task {
    Folder* parent;
    std::string name;
    std::string srcPath;
    struct stat st;
};

struct FileCopier::Shared {
    CopyStatus status;
    std::mutex resultsMutex;
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

FileCopier::FileCopier()
    : m_shared(std::make_shared<Shared>())
    , m_status(m_shared->status)
    , m_data(m_status)
    , m_attributes(m_status)
{
}

FileCopier::~FileCopier() = default;

FileCopier::FileCopier(const FileCopier& owner)
    : m_shared(owner.m_shared)
    , m_status(m_shared->status)
    , m_data(m_status)
    , m_attributes(m_status)
    , m_deferFolders(owner.m_deferFolders)
    , m_srcRoot(owner.m_srcRoot)
    , m_dstRoot(owner.m_dstRoot)
    , m_dstRootName(owner.m_dstRootName)
    , m_previousSince(owner.m_previousSince)
{
    m_attributes.setOptions(owner.m_attributes.options());
}

void FileCopier::setCancelFlag(const std::atomic<bool>* cancel) { m_status.setCancelFlag(cancel); }
void FileCopier::setByteCounter(std::atomic<qint64>* counter) { m_status.setByteCounter(counter); }
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

QString FileCopier::errorString() const { return m_status.errorString(); }
int FileCopier::errorNumber() const { return m_status.errorNumber(); }
QStringList FileCopier::skippedSpecialFiles() const { return m_status.skipped(); }
QStringList FileCopier::notes() const { return m_status.notes(); }

FileCopier::Result FileCopier::copy(const QString& src, const QString& dst)
{
    m_status.reset();
    takeDeferredFolders();   // what a copy that failed before left
    m_shared->hasRoot = false;
    const std::string srcPath = QFile::encodeName(src).toStdString();
    const std::string dstPath = QFile::encodeName(dst).toStdString();
    if (srcPath.empty() || dstPath.empty())
        return m_status.failWith(QStringLiteral("No source or destination path was given."));
    std::string dstParent, dstName;
    PathParts::split(dstPath, &dstParent, &dstName);
    Fd parent(::open(dstParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0)
        return m_status.fail("Cannot open the folder", dstParent, errno);
    struct stat existing;
    if (::fstatat(parent.get(), dstName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return m_status.fail("Cannot copy to", dstPath, EEXIST);
    std::string realParent = dstParent;
    if (char* real = ::realpath(dstParent.c_str(), nullptr)) {
        realParent = real;
        ::free(real);
    }
    m_dstRoot = realParent == "/" ? "/" + dstName : realParent + "/" + dstName;
    m_dstRootName = dst;
    m_srcRoot = srcPath;
    // Whatever the copies inherit from here is not what the sources have.
    const bool inheritsAcls = ::fgetxattr(parent.get(), "system.posix_acl_default", nullptr, 0) > 0;
    m_attributes.setOptions({m_deferFolders, inheritsAcls, m_dstRootName});

    std::string openPath = srcPath;
    struct stat srcStat;
    bool haveStat = ::lstat(srcPath.c_str(), &srcStat) == 0;
    if (haveStat && m_followTopLink && S_ISLNK(srcStat.st_mode)) {
        char* real = ::realpath(srcPath.c_str(), nullptr);
        if (!real)
            return m_status.fail("Cannot follow the link", srcPath, errno);
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
                return m_status.failWith(QStringLiteral("Cannot copy the folder \"%1\" into itself.").arg(src));
            }
            if (up == "/" || up.empty())
                break;
            std::string parentOfUp, ignored;
            PathParts::split(up, &parentOfUp, &ignored);
            if (parentOfUp == up)
                break;
            up.swap(parentOfUp);
        }
    }
    if (m_status.cancelled())
        return Result::Cancelled;

    // The earlier copy is good for this one call only.
    std::string previousParent, previousName;
    if (!m_previous.empty())
        PathParts::split(m_previous, &previousParent, &previousName);
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
        result = m_status.failWith(QStringLiteral("Cannot copy \"%1\": %2").arg(src, QString::fromStdString(thrown.first)));
    // Another thread's failure stopped this one.
    if (result == Result::Cancelled && !m_status.cancelledByCaller() && !errorString().isEmpty())
        result = Result::Failed;
    if (result != Result::Ok) {
        std::string failedPath;
        int failedErr = 0;
        TreeRemover::removeAt(parent.get(), dstName.c_str(), dstPath, &failedPath, &failedErr);
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
        *result = m_status.fail("Cannot link the copy of", srcPath, err);
        return true;
    }
    if (!m_linkNoteGiven) {
        m_linkNoteGiven = true;
        m_status.note(QStringLiteral("Hard links could not be kept on %1 (%2); their files were copied separately.")
                 .arg(m_dstRootName, CopyStatus::errnoText(err)));
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
            m_status.note(QStringLiteral("Hard links cannot be made on %1 (%2); unchanged files are copied again.")
                     .arg(m_dstRootName, CopyStatus::errnoText(err)));
            return 0;
        }
        m_status.fail("Cannot link the earlier copy of", srcPath, err);
        return -1;
    }
    m_shared->linked.fetch_add(1, std::memory_order_relaxed);
    m_status.advance(st.st_size);
    if (st.st_nlink > 1)
        rememberCopy(st, earlier, srcPath);
    return 1;
}

FileCopier::Result FileCopier::copyEntry(int srcDir, const char* srcName, const struct stat* known, int dstDir,
                                         const char* dstName, const std::string& srcPath)
{
    if (m_status.cancelled())
        return Result::Cancelled;
    struct stat st;
    if (!known) {
        if (::fstatat(srcDir, srcName, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return m_status.fail("Cannot read", srcPath, errno);
        known = &st;
    }
    if (S_ISREG(known->st_mode))
        return copyFile(srcDir, srcName, dstDir, dstName, srcPath);
    if (S_ISDIR(known->st_mode)) {
        if (m_shared->hasRoot && known->st_dev == m_shared->rootDev && known->st_ino == m_shared->rootIno)
            return m_status.failWith(
                QStringLiteral("Cannot copy the folder \"%1\" into itself.").arg(CopyStatus::decoded(srcPath)));
        return copyDirectory(srcDir, srcName, *known, dstDir, dstName, srcPath);
    }
    if (S_ISLNK(known->st_mode))
        return copyLink(srcDir, srcName, *known, dstDir, dstName, srcPath);
    m_status.skip(srcPath);
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
        return m_status.fail("Cannot read", srcPath, errno);
    }
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return m_status.fail("Cannot read", srcPath, errno);
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
        return m_status.fail("Cannot create a copy of", srcPath, errno);
    result = m_data.copy(in.get(), out.get(), st, srcPath);
    if (result != Result::Ok)
        return result;
    result = setMetadata(in.get(), out.get(), st, srcPath);
    if (result != Result::Ok)
        return result;
    if (st.st_nlink > 1)
        rememberCopy(st, out.get(), srcPath);
    if (::close(out.release()) != 0)
        return m_status.fail("Cannot write the copy of", srcPath, errno);
    return Result::Ok;
}

FileCopier::Result FileCopier::copyDirectory(int srcDir, const char* srcName, const struct stat& st, int dstDir,
                                             const char* dstName, const std::string& srcPath)
{
    Fd src(::openat(srcDir, srcName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (src.get() < 0)
        return m_status.fail("Cannot read the folder", srcPath, errno);
    if (::mkdirat(dstDir, dstName, 0700) != 0)
        return m_status.fail("Cannot create the copy of the folder", srcPath, errno);
    Fd dst(::openat(dstDir, dstName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dst.get() < 0)
        return m_status.fail("Cannot open the copy of the folder", srcPath, errno);
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
        return m_status.fail("Cannot read the folder", srcPath, errno);
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
                result = m_status.fail("Cannot read the folder", srcPath, errno);
            break;
        }
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        // A restore's work folder, possibly being removed right now, is not the user's.
        if ((e->d_type == DT_DIR || e->d_type == DT_UNKNOWN) && WorkFolder::isWorkFolderAt(dfd, name))
            continue;
        const std::string path = PathParts::child(srcPath, name);
        // Subfolders, and large files, go to a helper thread that has nothing to do.
        if ((e->d_type == DT_DIR || e->d_type == DT_REG) && m_worker->othersIdle() && !m_status.cancelled()) {
            struct stat sub;
            if (::fstatat(dfd, name, &sub, AT_SYMLINK_NOFOLLOW) == 0
                && (S_ISDIR(sub.st_mode) || (S_ISREG(sub.st_mode) && sub.st_size >= kHandOffFrom))
                && handOff(handedOff, folder, name, sub, path)) {
                anyHandedOff = true;
                continue;
            }
        }
        // For plain files the fstat after open is enough; spare a stat call.
        result = e->d_type == DT_REG ? (m_status.cancelled() ? Result::Cancelled : copyFile(dfd, name, dst.get(), name, path))
                                     : copyEntry(dfd, name, nullptr, dst.get(), name, path);
        if (result != Result::Ok)
            break;
    }
    if (anyHandedOff) {
        handedOff.wait();
        if (folder.result == Result::Failed || (result == Result::Ok && folder.result != Result::Ok))
            result = folder.result;
        if (handedOff.failures().count > 0)
            result = m_status.failWith(QStringLiteral("Cannot copy \"%1\": %2")
                                           .arg(CopyStatus::decoded(srcPath),
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
    std::lock_guard lock(m_shared->resultsMutex);
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
            return m_status.fail("Cannot read the link", srcPath, errno);
        if (size_t(n) < target.size()) {
            target.resize(size_t(n));
            break;
        }
        target.resize(target.size() * 2);
    }
    if (::symlinkat(target.c_str(), dstDir, dstName) != 0)
        return m_status.fail("Cannot create the copy of the link", srcPath, errno);
    return m_attributes.copyLinkTimes(dstDir, dstName, st, srcPath);
}

FileCopier::Result FileCopier::setMetadata(int in, int out, const struct stat& st, const std::string& srcPath)
{
    const Result result = m_attributes.copy(in, out, st, srcPath);
    if (result == Result::Ok && m_deferFolders && S_ISDIR(st.st_mode)) {
        std::lock_guard lock(m_shared->deferredMutex);
        // By the path below the top: the top's own path may reach it through a link.
        std::string relative = srcPath.substr(std::min(m_srcRoot.size(), srcPath.size()));
        if (!relative.empty() && relative.front() == '/')
            relative.erase(0, 1);
        m_shared->deferred.push_back(FolderAttributes{std::move(relative), mode_t(st.st_mode & 07777), st.st_mtim});
    }
    return result;
}

bool FileCopier::removeAll(const QString& path, QString* error) { return TreeRemover::removeAll(path, error); }
