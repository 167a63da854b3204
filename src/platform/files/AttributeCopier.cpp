#include "AttributeCopier.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/xattr.h>

namespace {

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

bool isAclName(const char* name) { return std::strncmp(name, "system.posix_acl_", 17) == 0; }

} // namespace

CopyResult AttributeCopier::copy(int in, int out, const struct stat& st, const std::string& srcPath)
{
    if (m_names.empty()) {
        m_names.resize(4096);
        m_value.resize(4096);
    }
    size_t listed = 0;
    for (;;) {
        const ssize_t n = ::flistxattr(in, m_names.data(), m_names.size());
        if (n >= 0) {
            listed = size_t(n);
            break;
        }
        if (errno == ERANGE) {
            const ssize_t need = ::flistxattr(in, nullptr, 0);
            if (need < 0)
                return m_status.fail("Cannot read the extended attributes of", srcPath, errno);
            m_names.resize(std::max(size_t(need), m_names.size() * 2));
            continue;
        }
        if (errno == ENOTSUP || errno == EOPNOTSUPP)
            break;
        return m_status.fail("Cannot read the extended attributes of", srcPath, errno);
    }

    // Other attributes go on while the copy is still writable by us (user.* needs that);
    // ACLs after the chmod, which would otherwise rewrite their mask.
    bool accessAcl = false;
    bool defaultAcl = false;
    CopyResult result = CopyResult::Ok;
    if (listed > 0 && (result = copyXattrs(in, out, listed, false, &accessAcl, &defaultAcl, srcPath)) != CopyResult::Ok)
        return result;
    const bool keptOpen = m_options.keepFoldersOpen && S_ISDIR(st.st_mode);
    const mode_t mode = (st.st_mode & 07777) | (keptOpen ? S_IRWXU : 0);
    if (::fchmod(out, mode) != 0 && !metadataUnsupported(errno))
        return m_status.fail("Cannot set the permissions of the copy of", srcPath, errno);
    if (listed > 0 && (result = copyXattrs(in, out, listed, true, &accessAcl, &defaultAcl, srcPath)) != CopyResult::Ok)
        return result;
    // An access ACL sets the owner's bits too.
    if (keptOpen && (accessAcl || defaultAcl) && ::fchmod(out, mode) != 0 && !metadataUnsupported(errno))
        return m_status.fail("Cannot set the permissions of the copy of", srcPath, errno);
    if (m_options.dropInheritedAcls) {
        if (!accessAcl)
            ::fremovexattr(out, "system.posix_acl_access");
        if (!defaultAcl && S_ISDIR(st.st_mode))
            ::fremovexattr(out, "system.posix_acl_default");
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out, times) != 0 && !metadataUnsupported(errno))
        return m_status.fail("Cannot set the times of the copy of", srcPath, errno);
    return CopyResult::Ok;
}

CopyResult AttributeCopier::copyLinkTimes(int dir, const char* name, const struct stat& st, const std::string& srcPath)
{
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(dir, name, times, AT_SYMLINK_NOFOLLOW) != 0 && !metadataUnsupported(errno))
        return m_status.fail("Cannot set the times of the copy of", srcPath, errno);
    return CopyResult::Ok;
}

CopyResult AttributeCopier::copyXattrs(int in, int out, size_t listed, bool acls, bool* hadAccessAcl,
                                       bool* hadDefaultAcl, const std::string& srcPath)
{
    for (size_t i = 0; i < listed;) {
        const char* name = m_names.data() + i;
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
            n = ::fgetxattr(in, name, m_value.data(), m_value.size());
            if (n >= 0 || errno != ERANGE)
                break;
            const ssize_t need = ::fgetxattr(in, name, nullptr, 0);
            if (need < 0)
                break;
            m_value.resize(std::max(size_t(need), m_value.size() * 2));
        }
        int err = errno;
        if (n < 0 && err == ENODATA)   // removed since it was listed
            continue;
        if (n >= 0 && ::fsetxattr(out, name, m_value.data(), size_t(n), 0) == 0)
            continue;
        if (n >= 0)
            err = errno;
        if (!attributeRefused(err))
            return m_status.fail(n < 0 ? "Cannot read the extended attributes of" : "Cannot keep the extended attributes of",
                                 srcPath, err);
        m_status.note(QStringLiteral("Extended attributes could not be kept on %1: %2")
                          .arg(m_options.destination, CopyStatus::errnoText(err)));
    }
    return CopyResult::Ok;
}
