#pragma once

#include "CopyStatus.h"

#include <QString>

#include <string>
#include <sys/stat.h>
#include <vector>

// Gives a copy the attributes of its source: extended attributes, POSIX ACLs, permissions and
// times. What the destination cannot hold is noted and the copy goes on. One per thread: it
// owns its buffers.
class AttributeCopier {
public:
    struct Options {
        bool keepFoldersOpen = false;     // copied folders stay open to their owner (u+rwx)
        bool dropInheritedAcls = false;   // the destination folder hands a default ACL down
        QString destination;              // named in notes
    };

    explicit AttributeCopier(CopyStatus& status) : m_status(status) {}

    void setOptions(const Options& options) { m_options = options; }
    const Options& options() const { return m_options; }

    // Onto the open copy `out` from its open source `in` (`st`), once the contents are written.
    CopyResult copy(int in, int out, const struct stat& st, const std::string& srcPath);
    // A link keeps its times; it has nothing else of its own.
    CopyResult copyLinkTimes(int dir, const char* name, const struct stat& st, const std::string& srcPath);

private:
    // The attributes of the first `listed` bytes of names: the ACLs, or all others.
    CopyResult copyXattrs(int in, int out, size_t listed, bool acls, bool* hadAccessAcl, bool* hadDefaultAcl,
                          const std::string& srcPath);

    CopyStatus& m_status;
    Options m_options;
    std::vector<char> m_names;
    std::vector<char> m_value;
};
