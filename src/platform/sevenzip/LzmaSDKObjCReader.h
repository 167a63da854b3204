#pragma once

#include "ArchiveStreamWriter.h"
#include "LzmaSDKObjCItem.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

class LzmaSDKObjCReaderDelegate;

// Lists and extracts a 7z archive with the 7zz program.
class LzmaSDKObjCReader {
public:
    explicit LzmaSDKObjCReader(const QString& archivePath, int type = 1);

    void setDelegate(LzmaSDKObjCReaderDelegate* delegate);
    void setPasswordGetter(std::function<QString()> getter);

    // Lists the archive; fails for a missing, damaged or wrongly unlocked archive.
    bool open(QString* error);
    // open() failed because 7zz could not read the archive: a wrong password and a damaged
    // archive look alike to it.
    bool archiveRefused() const { return m_refused; }
    // Hands every listed item to the handler until it returns false.
    bool iterateWithHandler(const std::function<bool(const LzmaSDKObjCItem& item, const QString& error)>& handler);
    // Extracts the items below toPath (created when missing). Refuses, extracting
    // nothing, when a stored name is unsafe, an item is stored below a link, or an
    // existing symbolic link below toPath lies on the way of an item. Links come
    // back reading exactly as stored; every extracted folder is left u+rwx.
    bool extract(const QList<LzmaSDKObjCItem>& items, const QString& toPath, bool withFullPaths);
    // Extracts in one pass: listed item i goes to targets[i], below bases[targets[i].base]
    // (existing folders). Folders' stored attributes are handed back for the caller to set
    // once the trees are in place. Refuses, extracting nothing, what extract() refuses.
    bool extractTo(const QStringList& bases, const QList<ArchiveStreamWriter::Target>& targets,
                   std::vector<ArchiveStreamWriter::Folder>* folders);

    void cancel();
    bool wasCancelled() const;
    QString lastError() const;

    QString archivePath() const { return m_archivePath; }
    QList<LzmaSDKObjCItem> items() const { return m_items; }

    // True for a stored name that may be written below a destination folder.
    static bool isSafeStoredName(const QString& name);

private:
    QByteArray passwordInput(bool* ok);
    // 7zz lists a line feed in a name as "_": such names are read again from the header.
    bool takeExactNames(QString* error);
    QList<LzmaSDKObjCItem> list(const QStringList& filter, bool* ok, QString* error);
    bool checkDestination(const QString& toPath, QString* error) const;
    bool checkLinksInArchive(QString* error) const;
    // Safe names, nothing stored below a link.
    bool checkItems(QString* error) const;
    QList<qsizetype> selectedItems(const QList<LzmaSDKObjCItem>& items) const;
    void fail(const QString& message);

    QString m_archivePath;
    int m_type;
    LzmaSDKObjCReaderDelegate* m_delegate = nullptr;
    std::function<QString()> m_passwordGetter;
    QList<LzmaSDKObjCItem> m_items;
    bool m_opened = false;
    bool m_refused = false;

    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_errorMutex;
    QString m_lastError;
};
