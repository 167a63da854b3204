#pragma once

#include <cerrno>

// renameat2() flags (RENAME_EXCHANGE, RENAME_NOREPLACE) that a file system does not know:
// FUSE and some network file systems refuse them, and a plain rename has to do instead.
namespace RenameFlags {
inline bool unsupported(int err) { return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTSUP; }
}
