#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

class LzmaSDKObjCWriterDelegate;

// Writes a 7z archive with the 7zz program. The archive is built in a work folder
// beside archivePath and renamed over it only when complete.
class LzmaSDKObjCWriter {
public:
    explicit LzmaSDKObjCWriter(const QString& archivePath);

    // path: the item on disk. forPath: its name inside the archive, either the
    // same absolute path (stored in full) or the item's file name (stored bare).
    // Stored in full, a link given as path is followed (links inside it stay links)
    // and its content stored under the link's own path; an item equal to or inside
    // another one given is left out.
    void addPath(const QString& path, const QString& forPath);
    // Leaves the folder at `path`, below an item stored in full, out of the archive with
    // everything in it.
    void excludePath(const QString& path);
    void setDelegate(LzmaSDKObjCWriterDelegate* delegate);
    void setPasswordGetter(std::function<QString()> getter);

    void setMethod(int method);
    void setSolid(bool solid);
    void setCompressionLevel(int level);
    void setEncodeContent(bool encode);
    void setEncodeHeader(bool encode);
    void setCompressHeader(bool compress);
    void setCompressHeaderFull(bool compress);
    void setWriteModificationTime(bool write);
    void setWriteCreationTime(bool write);
    void setWriteAccessTime(bool write);

    // Zorvi's archive settings: method 0, solid, level 9, header compressed fully,
    // modification times only; content and header encrypted when `encrypt`.
    void applyArchiveSettings(bool encrypt);

    // The switches that keep 7zz's memory under a quarter of `physicalMemory` and never
    // above 2 GiB, on a machine with `cores` processors: level 9 takes one LZMA2 coder per
    // two threads, each some 12.5 times its dictionary with blocks as large as it, so a
    // smaller dictionary keeps every core busy where fewer threads would slow the run down.
    static QStringList memorySwitches(qint64 physicalMemory, int cores);

    bool open(QString* error);
    bool write();                 // blocks; true when the whole archive is in place
    void cancel();                // any thread
    bool wasCancelled() const;
    QString lastError() const;

    QString archivePath() const { return m_archivePath; }

private:
    struct Entry {
        QString path;
        QString forPath;
    };
    // One 7zz run: "a" of names, or "rn" of (old, new) name pairs.
    struct Step {
        bool rename = false;
        QStringList names;
        QStringList stored;   // of an "a": the name each of `names` ends up stored under
    };
    bool check(QString* error) const;
    bool fullPaths() const;
    std::optional<QList<Step>> plan(QString* error) const;
    static QString realPlace(const QString& path, QString* error);
    QStringList arguments(const Step& step, bool withPassword, const QString& target) const;
    void fail(const QString& message);

    QString m_archivePath;
    QList<Entry> m_entries;
    QStringList m_excluded;
    LzmaSDKObjCWriterDelegate* m_delegate = nullptr;
    std::function<QString()> m_passwordGetter;

    int m_method = 0;
    bool m_solid = true;
    int m_level = 9;
    bool m_encodeContent = true;
    bool m_encodeHeader = true;
    bool m_compressHeader = true;
    bool m_compressHeaderFull = true;
    bool m_writeMTime = false;
    bool m_writeCTime = false;
    bool m_writeATime = false;

    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_errorMutex;
    QString m_lastError;
};
