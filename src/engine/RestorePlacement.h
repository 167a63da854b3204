#pragma once

#include "WorkFolder.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <sys/types.h>
#include <vector>

// Puts restored trees in place. Each tree is built in a work folder on its place's own file
// system: inside the folder it merges into (that folder is the user's even where its parent
// is not theirs to write), or beside an item that is missing or replaced whole. What the
// tree holds then moves in by renames, replacing what is there; anything else at the place
// stays. Folders get their stored modes and times last, deepest first, once what they hold
// is in place.
class RestorePlacement {
public:
    struct Tree {
        QString place;       // where the tree goes
        bool isFolder = false;
    };

    // `task` names the task whose next run finishes the removal of the work folders.
    RestorePlacement(const std::atomic<bool>& cancel, QString task);
    ~RestorePlacement();
    RestorePlacement(const RestorePlacement&) = delete;
    RestorePlacement& operator=(const RestorePlacement&) = delete;

    // Makes each tree's work folder. A tree whose place cannot be written is left out and
    // notRestored() says why; the others go on.
    void prepare(const QList<Tree>& trees);
    bool isPrepared(qsizetype tree) const;
    // Some tree was prepared: once place() succeeds, something was restored.
    bool preparedAny() const { return m_preparedAny; }
    // The work folder of a prepared tree, and the path inside it where the tree is built.
    QString workFolder(qsizetype tree) const;
    QString staging(qsizetype tree) const;
    // A folder's stored attributes, by its path below the tree's top (empty: the top).
    void setFolderAttributes(qsizetype tree, const QByteArray& relative, mode_t mode, std::optional<struct timespec> modified);

    // Flushes what was built, moves every prepared tree in and sets the folders' attributes.
    // A cancel takes back what this call created; a failure says why in `error`.
    bool place(QString* error);
    // One sentence per tree that was left out.
    QStringList notRestored() const { return m_notRestored; }
    // Removes the work folders, with the replaced items they hold, in the background (as
    // part of the task: see PendingRemovals).
    void removeWorkFolders();

    // Where the tree at `from` cannot be merged into `to` without writing through a symbolic
    // link or putting a folder where a file is (or the reverse); empty when it can.
    static QString conflictAt(const QString& from, const QString& to);
    // The same for a tree given as the paths below its top (empty: the top) and which of
    // them are folders.
    static QString conflictWithItems(const QString& place, const QList<std::pair<QStringList, bool>>& items);

private:
    struct Prepared {
        QString place;
        std::optional<WorkFolder> work;
    };
    struct FolderAttributes {
        qsizetype tree;
        QByteArray relative;
        mode_t mode;
        std::optional<struct timespec> modified;
    };
    void leaveOut(const QString& place, const QString& folder, int err);
    void applyFolderAttributes() const;

    const std::atomic<bool>& m_cancel;
    QString m_task;
    QList<Prepared> m_trees;
    QStringList m_notRestored;
    std::vector<FolderAttributes> m_folders;
    bool m_preparedAny = false;
};
