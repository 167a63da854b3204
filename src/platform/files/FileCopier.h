#pragma once

#include "AttributeCopier.h"
#include "CopyStatus.h"
#include "FileDataCopier.h"
#include "FolderJobs.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

// Copies files, folder trees and symbolic links with POSIX calls: contents,
// permissions, extended attributes (ACLs included), modification times, holes of
// sparse files and hard links between the files one copier copies; links stay
// links and are never followed; FIFOs, sockets and devices are skipped and listed.
// Given an earlier copy of the same source, it hard-links the files that copy holds
// unchanged instead of copying them again. A tree is copied by a few threads, a folder each
// (FolderJobs); each thread's copier has its own FileDataCopier and AttributeCopier.
class FileCopier {
public:
    using Result = CopyResult;

    FileCopier();
    ~FileCopier();

    void setCancelFlag(const std::atomic<bool>* cancel);    // checked between files and chunks
    void setByteCounter(std::atomic<qint64>* counter);     // advanced as bytes are written
    // When on, a src given to copy() that is a symbolic link is replaced by what it
    // points to (links inside a followed folder still stay links).
    void setFollowTopLink(bool follow);
    // The earlier copy of the next copy()'s src (empty: none). A regular file found there
    // under the same relative name, with the source's size, modification time and mode,
    // owned as a new copy would be, and whose source has not changed (its ctime, which
    // attributes move too) since that copy was begun, is hard-linked into the new copy
    // instead of being copied. Nothing ever writes to such a file. Where the file system
    // has no hard links, everything is copied and a note says so once for the copier's life.
    void setPreviousCopy(const QString& previous);
    // Files the copies so far took over from earlier copies.
    qint64 linkedFiles() const;

    struct FolderAttributes {
        std::string relative;       // below the copy's top, "" for the top itself
        mode_t mode = 0;
        struct timespec modified {};
    };
    // When on, copied folders stay open to their owner (u+rwx) so what they hold can be moved
    // out, and their modes and modification times are kept for the caller to set once that
    // is done (takeDeferredFolders).
    void setDeferFolderAttributes(bool defer);
    std::vector<FolderAttributes> takeDeferredFolders();

    // dst's parent must exist and dst must not. A failed or cancelled copy
    // removes what it created at dst.
    Result copy(const QString& src, const QString& dst);
    QString errorString() const;
    int errorNumber() const;   // errno of the failure, 0 where it had none
    QStringList skippedSpecialFiles() const;
    // What the last copy() could not keep although it succeeded (extended attributes the
    // destination refuses, hard links it cannot make), one line per kind of problem.
    QStringList notes() const;

    // Removes a file, a symbolic link (not its target) or a folder tree without
    // following any link inside it (TreeRemover). Nothing at path counts as success.
    static bool removeAll(const QString& path, QString* error);

    // Test seam: every hard link fails with `err`, as on a file system without them (0: off).
    static void setHardLinksRefused(int err);

private:
    struct Shared;
    struct Folder;
    struct Task;
    // A helper thread's copier: works on the folders `owner` hands off.
    explicit FileCopier(const FileCopier& owner);

    Result copyEntry(int srcDir, const char* srcName, const struct stat* known, int dstDir, const char* dstName,
                     const std::string& srcPath);
    Result copyFile(int srcDir, const char* srcName, int dstDir, const char* dstName, const std::string& srcPath);
    Result copyDirectory(int srcDir, const char* srcName, const struct stat& st, int dstDir, const char* dstName,
                         const std::string& srcPath);
    Result copyLink(int srcDir, const char* srcName, const struct stat& st, int dstDir, const char* dstName,
                    const std::string& srcPath);
    // The attributes, and for a folder whose attributes wait, the record of them.
    Result setMetadata(int in, int out, const struct stat& st, const std::string& srcPath);
    bool linkToEarlierCopy(const struct stat& st, int dstDir, const char* dstName, Result* result,
                           const std::string& srcPath);
    void rememberCopy(const struct stat& srcSt, int out, const std::string& srcPath);
    void rememberCopy(const struct stat& srcSt, const struct stat& copied, const std::string& srcPath);
    // 1 linked from the earlier copy, 0 copy it instead, -1 failed.
    int linkFromPrevious(const struct stat& st, int dstDir, const char* dstName, const std::string& srcPath);
    bool unchangedSince(const struct stat& src, const struct stat& earlier) const;
    const char* previousName(int dstDir, const char* dstName) const;
    void noteNewOwner(int dstDir);
    // Hands an entry of `folder` to an idle helper thread; false when none waits for work.
    bool handOff(FolderJobs::Group& group, Folder& folder, const char* name, const struct stat& st,
                 const std::string& srcPath);
    void copyHandedOff(const Task& task, FolderJobs::Worker& worker);
    std::string dstPathOf(const std::string& srcPath) const;
    void forgetCopiesBelow(const std::string& dstPath);

    std::shared_ptr<Shared> m_shared;   // with the helper threads, and across copies
    CopyStatus& m_status;               // in m_shared
    FileDataCopier m_data;
    AttributeCopier m_attributes;
    FolderJobs::Worker* m_worker = nullptr;   // the thread this copier runs on, during a copy
    bool m_followTopLink = false;
    bool m_deferFolders = false;
    bool m_linkNoteGiven = false;
    std::string m_srcRoot;
    std::string m_dstRoot;              // absolute, so recorded copies survive a change of folder
    QString m_dstRootName;

    std::string m_previous;             // the earlier copy of the next src
    int m_previousDir = -1;             // its folder matching the folder being filled, or -1
    const char* m_previousTop = nullptr; // its own name, for the top entry
    int m_topParent = -1;               // the folder the top entry is copied into
    struct timespec m_previousSince {}; // the earlier copy was begun then (0: unknown)
    uid_t m_newUid = 0;                 // the owner a new file of the folder being filled gets
    gid_t m_newGid = 0;
};
