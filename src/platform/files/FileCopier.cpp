#include "FileCopier.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// Large enough for full speed, small enough that progress and cancel stay lively.
constexpr size_t kChunk = 8u << 20;
constexpr size_t kBufferSize = 1u << 20;

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
        std::vector<std::string> names;
        errno = 0;
        while (dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            names.emplace_back(e->d_name);
        }
        if (errno != 0) {
            *failedPath = path;
            *failedErr = errno;
            ok = false;
        }
        for (const std::string& child : names) {
            if (!ok)
                break;
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

} // namespace

FileCopier::FileCopier() = default;
FileCopier::~FileCopier() = default;

void FileCopier::setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }
void FileCopier::setByteCounter(std::atomic<qint64>* counter) { m_counter = counter; }
void FileCopier::setFollowTopLink(bool follow) { m_followTopLink = follow; }
QString FileCopier::errorString() const { return m_error; }
QStringList FileCopier::skippedSpecialFiles() const { return m_skipped; }
QStringList FileCopier::notes() const { return m_notes; }

void FileCopier::note(const QString& text)
{
    if (!m_notes.contains(text))
        m_notes << text;
}

bool FileCopier::cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

FileCopier::Result FileCopier::failed(const char* what, const std::string& path, int err)
{
    m_error = QStringLiteral("%1 \"%2\": %3")
                  .arg(QString::fromUtf8(what), QFile::decodeName(QByteArray::fromStdString(path)),
                       errnoText(err));
    return Result::Failed;
}

FileCopier::Result FileCopier::copy(const QString& src, const QString& dst)
{
    m_error.clear();
    m_skipped.clear();
    m_notes.clear();
    m_hasRoot = false;
    const std::string srcPath = QFile::encodeName(src).toStdString();
    const std::string dstPath = QFile::encodeName(dst).toStdString();
    if (srcPath.empty() || dstPath.empty()) {
        m_error = QStringLiteral("No source or destination path was given.");
        return Result::Failed;
    }
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
                m_error = QStringLiteral("Cannot copy the folder \"%1\" into itself.").arg(src);
                return Result::Failed;
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

    const Result result = copyEntry(AT_FDCWD, openPath.c_str(), nullptr, parent.get(), dstName.c_str(), srcPath);
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
    std::erase_if(m_copies, [&](const auto& entry) {
        const std::string& p = entry.second.path;
        return p == dstPath || p.compare(0, below.size(), below) == 0;
    });
}

bool FileCopier::linkToEarlierCopy(const struct stat& st, int dstDir, const char* dstName, Result* result,
                                   const std::string& srcPath)
{
    const auto it = m_copies.find({st.st_dev, st.st_ino});
    if (it == m_copies.end())
        return false;
    int err = ENOENT;
    struct stat there;
    // The path must still hold the copy we wrote, not whatever came there since: a freed
    // inode number is soon given again, so its length and time must match too.
    const CopyOf& earlier = it->second;
    if (::fstatat(AT_FDCWD, earlier.path.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && there.st_dev == earlier.dev
        && there.st_ino == earlier.ino && there.st_size == earlier.size && there.st_mtim.tv_sec == earlier.mtime.tv_sec
        && there.st_mtim.tv_nsec == earlier.mtime.tv_nsec) {
        if (::linkat(AT_FDCWD, earlier.path.c_str(), dstDir, dstName, 0) == 0) {
            *result = Result::Ok;
            return true;
        }
        err = errno;
    }
    m_copies.erase(it);
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
        m_copies[{srcSt.st_dev, srcSt.st_ino}] =
            CopyOf{dstPathOf(srcPath), copied.st_dev, copied.st_ino, copied.st_size, copied.st_mtim};
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
        if (m_hasRoot && known->st_dev == m_rootDev && known->st_ino == m_rootIno) {
            m_error = QStringLiteral("Cannot copy the folder \"%1\" into itself.")
                          .arg(QFile::decodeName(QByteArray::fromStdString(srcPath)));
            return Result::Failed;
        }
        return copyDirectory(srcDir, srcName, *known, dstDir, dstName, srcPath);
    }
    if (S_ISLNK(known->st_mode))
        return copyLink(srcDir, srcName, *known, dstDir, dstName, srcPath);
    m_skipped << QFile::decodeName(QByteArray::fromStdString(srcPath));
    return Result::Ok;
}

FileCopier::Result FileCopier::copyFile(int srcDir, const char* srcName, int dstDir, const char* dstName,
                                        const std::string& srcPath)
{
    // O_NONBLOCK: a FIFO swapped in after the listing must not hang the copy.
    Fd in(::openat(srcDir, srcName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (in.get() < 0) {
        if (errno == ELOOP) {   // became a link since it was listed
            struct stat st;
            if (::fstatat(srcDir, srcName, &st, AT_SYMLINK_NOFOLLOW) == 0)
                return copyEntry(srcDir, srcName, &st, dstDir, dstName, srcPath);
        }
        return failed("Cannot read", srcPath, errno);
    }
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return failed("Cannot read", srcPath, errno);
    if (!S_ISREG(st.st_mode)) {
        in.reset();
        return copyEntry(srcDir, srcName, &st, dstDir, dstName, srcPath);
    }
    Result result = Result::Ok;
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
    if (::fchmod(out, st.st_mode & 07777) != 0 && !metadataUnsupported(errno))
        return failed("Cannot set the permissions of the copy of", srcPath, errno);
    if (listed > 0 && (result = copyXattrs(in, out, listed, true, &accessAcl, &defaultAcl, srcPath)) != Result::Ok)
        return result;
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
    if (!m_hasRoot) {
        // Remember the new top folder: meeting it again means dst lies inside src.
        struct stat root;
        if (::fstat(dst.get(), &root) == 0) {
            m_rootDev = root.st_dev;
            m_rootIno = root.st_ino;
            m_hasRoot = true;
        }
    }

    DIR* d = ::fdopendir(src.get());
    if (!d)
        return failed("Cannot read the folder", srcPath, errno);
    src.release();
    const int dfd = ::dirfd(d);
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
        // For plain files the fstat after open is enough; spare a stat call.
        result = e->d_type == DT_REG ? (cancelled() ? Result::Cancelled : copyFile(dfd, name, dst.get(), name, path))
                                     : copyEntry(dfd, name, nullptr, dst.get(), name, path);
        if (result != Result::Ok)
            break;
    }
    // Set after the contents: writing into the folder would move its time again, and a
    // default ACL set earlier would be handed down to children that never had it.
    if (result == Result::Ok)
        result = setMetadata(dfd, dst.get(), st, srcPath);
    ::closedir(d);
    return result;
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
