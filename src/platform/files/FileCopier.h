#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <string>
#include <sys/stat.h>

// Copies files, folder trees and symbolic links with POSIX calls: contents,
// permissions and modification times; links stay links and are never followed;
// FIFOs, sockets and devices are skipped and listed.
class FileCopier {
public:
    enum class Result { Ok, Cancelled, Failed };

    FileCopier();
    ~FileCopier();

    void setCancelFlag(const std::atomic<bool>* cancel);    // checked between files and chunks
    void setByteCounter(std::atomic<qint64>* counter);     // advanced as bytes are written

    // dst's parent must exist and dst must not. A failed or cancelled copy
    // removes what it created at dst.
    Result copy(const QString& src, const QString& dst);
    QString errorString() const;
    QStringList skippedSpecialFiles() const;

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
    Result failed(const char* what, const std::string& path, int err);
    bool cancelled() const;

    const std::atomic<bool>* m_cancel = nullptr;
    std::atomic<qint64>* m_counter = nullptr;
    QString m_error;
    QStringList m_skipped;
    std::unique_ptr<char[]> m_buffer;
    bool m_hasRoot = false;
    dev_t m_rootDev = 0;
    ino_t m_rootIno = 0;
};
