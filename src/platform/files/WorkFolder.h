#pragma once

#include <QList>
#include <QString>

#include <optional>

// A hidden folder of ours, "<parent>/.zorvi-XXXXXX" beside an item or ".zorvi-XXXXXX" inside
// a folder being merged into, on the item's file system so what it holds moves into place by
// rename. Its name never derives from the item's, so items with names of any length fit. A
// marker file, on disk before anything else goes in, names the item it serves: leftovers are
// recognised by what we wrote, never by their name alone.
//
// Layout: "new" is the copy being built, "complete" marks it flushed and whole, "old" is
// the item moved aside when the file system cannot exchange two names atomically.
class WorkFolder {
public:
    // Creates a work folder for `item` (which need not exist) in its parent folder.
    // `errorNumber` gets the system's reason when it fails.
    static std::optional<WorkFolder> create(const QString& item, QString* error, int* errorNumber = nullptr);
    // Creates a work folder inside the existing folder `folder`, for merging into it: the
    // folder is the user's own even where its parent is not theirs to write.
    static std::optional<WorkFolder> createInside(const QString& folder, QString* error, int* errorNumber = nullptr);
    // Our work folders beside `item` and inside it that serve it.
    static QList<WorkFolder> findFor(const QString& item);
    // True when the entry `name` of the open folder `parent` is a work folder of ours, by its
    // marker: not the user's, so nothing copies or archives it.
    static bool isWorkFolderAt(int parent, const char* name);

    // Run at the start of every run that touches `item`, under its lock: when `item` is
    // missing, brings back the newest complete copy kept in its work folders (a completed
    // new copy first, else the item moved aside), then removes them all, and the empty
    // folders of our naming that a crash left before their marker was on disk. Returns a line
    // for the log when something was brought back or could not be removed.
    static QString recoverAndClean(const QString& item);

    QString path() const { return m_path; }
    QString item() const { return m_item; }
    QString newItem() const;
    QString oldItem() const;
    // Any other name inside the folder.
    QString entry(const QString& name) const;

    // Flushes what was written in this folder's file system, marks the new copy complete,
    // then puts it at item(): an atomic exchange where the file system has one, else the old
    // item is moved aside first (a crash between the two renames is mended by
    // recoverAndClean). The replaced item stays inside the folder until remove().
    bool commit(QString* error);
    // Removes the folder and everything in it, its marker last.
    bool remove(QString* error = nullptr) const;

    // Test seams: pretend the file system has no atomic exchange.
    static void setExchangeDisabled(bool disabled);

private:
    WorkFolder(QString path, QString item) : m_path(std::move(path)), m_item(std::move(item)) {}
    static std::optional<WorkFolder> make(const QString& parent, const QString& item, const QByteArray& markerName,
                                          QString* error, int* errorNumber);
    static QList<WorkFolder> findIn(const QString& parent, const QString& item, const QByteArray& markerName);
    static void removeUnmarked(const QString& parent, QStringList* notes);
    bool isComplete() const;

    QString m_path;
    QString m_item;
};
