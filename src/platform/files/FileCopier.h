#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

// Copies files, folder trees and symbolic links with POSIX calls: contents,
// permissions, extended attributes (ACLs included), modification times, holes of
// sparse files and hard links between the files one copier copies; links stay
// links and are never followed; FIFOs, sockets and devices are skipped and listed.
class FileCopier {
public:
    enum class Result { Ok, Cancelled, Failed };

    FileCopier();
    ~FileCopier();

    void setCancelFlag(const std::atomic<bool>* cancel);    // checked between files and chunks
    void setByteCounter(std::atomic<qint64>* counter);     // advanced as bytes are written
    // When on, a src given to copy() that is a symbolic link is replaced by what it
    // points to (links inside a followed folder still stay links).
    void setFollowTopLink(bool follow);

    // dst's parent must exist and dst must not. A failed or cancelled copy
    // removes what it created at dst.
    Result copy(const QString& src, const QString& dst);
    QString errorString() const;
    QStringList skippedSpecialFiles() const;
    // What the last copy() could not keep although it succeeded (extended attributes the
    // destination refuses, hard links it cannot make), one line per kind of problem.
    QStringList notes() const;

    // Removes a file, a symbolic link (not its target) or a folder tree without
    // following any link inside it. Nothing at path counts as success.
    static bool removeAll(const QString& path, QString* error);

private:
    Result copyEntry(int srcDir, const char* srcName, const struct stat* known, int dstDir, const char* dstName,
                     const std::string& srcPath);
    Result copyFile(int srcDir, const char* srcName, int dstDir, const char* dstName, const std::string& srcPath);
    Result copyDirectory(int srcDir, const char* srcName, const struct stat& st, int dstDir, const char* dstName,
                         const std::string& srcPath);
    Result copyLink(int srcDir, const char* srcName, const struct stat& st, int dstDir, const char* dstName,
                    const std::string& srcPath);
    Result copyData(int in, int out, const std::string& srcPath);
    Result copySparseData(int in, int out, const struct stat& st, const std::string& srcPath, bool* unsupported);
    Result writeSegment(int in, int out, off_t offset, off_t length, const std::string& srcPath);
    // The read/write path where the kernel cannot copy: [*inOff, end) by position when
    // offsets are given, else on to the end of the file.
    Result bufferedCopy(int in, int out, off_t* inOff, off_t* outOff, off_t end, const std::string& srcPath);
    Result setMetadata(int in, int out, const struct stat& st, const std::string& srcPath);
    Result copyXattrs(int in, int out, size_t listed, bool acls, bool* hadAccessAcl, bool* hadDefaultAcl,
                      const std::string& srcPath);
    bool linkToEarlierCopy(const struct stat& st, int dstDir, const char* dstName, Result* result,
                           const std::string& srcPath);
    void rememberCopy(const struct stat& srcSt, int out, const std::string& srcPath);
    std::string dstPathOf(const std::string& srcPath) const;
    void forgetCopiesBelow(const std::string& dstPath);
    void note(const QString& text);
    Result failed(const char* what, const std::string& path, int err);
    bool cancelled() const;

    const std::atomic<bool>* m_cancel = nullptr;
    std::atomic<qint64>* m_counter = nullptr;
    QString m_error;
    QStringList m_skipped;
    QStringList m_notes;
    bool m_followTopLink = false;
    bool m_linkNoteGiven = false;
    bool m_dropInheritedAcls = false;   // the destination folder hands a default ACL down
    std::string m_srcRoot;
    std::string m_dstRoot;              // absolute, so recorded copies survive a change of folder
    QString m_dstRootName;
    struct CopyOf { std::string path; dev_t dev; ino_t ino; off_t size; struct timespec mtime; };
    std::map<std::pair<dev_t, ino_t>, CopyOf> m_copies;   // source inode -> its first copy
    std::vector<char> m_xattrNames;
    std::vector<char> m_xattrValue;
    std::unique_ptr<char[]> m_buffer;
    bool m_hasRoot = false;
    dev_t m_rootDev = 0;
    ino_t m_rootIno = 0;
};
