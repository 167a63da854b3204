#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

// Which tree of a task's last backup goes back to which of its sources now, by the drive each
// came from. A tree goes to one place at most: to the source at the very place it was stored
// when that source carries the tree's identity; else to the one source of that identity at
// the same path below its drive's root. Where neither holds, the tree goes nowhere. Nor does it
// go to a drive attached now that cannot be told to be the one it came from: one that shows no
// identity, or one of several attached drives that carry it (clones share it).
//
// A tree recorded with no identity (a drive that had none to give) goes only to its very
// place, and only while the drive there shows no identity either. A tree whose drive is not
// known goes nowhere; a source on a drive at its path below a root is named with it.
//
// A task that knows nothing of its folder's backup (made anew over an old one) gives a folder
// on the computer the tree stored at its very path, and nothing on a drive.
class SourcePairing {
public:
    // A source left without a tree although the backup may hold one of its.
    struct Untold {
        enum class Why {
            Unknown,        // nothing tells which tree is its, or which source a tree is
            Twins,          // several attached drives carry the identity of its drive
            DriveInPlace,   // the drive in its place shows no identity where the tree has one,
                            // or one where the tree has none
        };
        QString place;
        QStringList trees;   // the paths such trees were stored under
        Why why = Why::Unknown;
        // The tree is withheld only because of the drives attached now: another drive would
        // get it back.
        bool byAttachedDrives() const { return why != Why::Unknown; }
    };

    // `sources` as the task stores them (tagged "path;identity" on a drive); `recordedPaths`
    // and `recordedIdentities` as the record knows the trees of its last backup.
    SourcePairing(const QStringList& sources, const QStringList& recordedPaths, const QStringList& recordedIdentities);

    // (path of the tree in the backup, the source's place now), in source order.
    const QList<std::pair<QString, QString>>& pairs() const { return pairs_; }
    const QList<Untold>& untold() const { return untold_; }

private:
    struct Source {
        QString place;
        QString identity;
        bool onDrive = false;
    };
    struct Tree {
        QString stored;
        QString identity;
        bool operator==(const Tree&) const = default;
    };
    // What the drives attached now tell of a source whose trees carry its identity.
    enum class Drive { Tells, Twins, CannotTell };

    static Source sourceOf(const QString& entry);
    void pairByDrive(const QList<Source>& sources, const QList<Tree>& trees);
    void pairKnowingNothing(const QList<Source>& sources);
    // Pairs `tree` with `source` when the drive in its place can be told to be its, else names it.
    void give(const Source& source, const QString& tree, const QStringList& couldBeIts);
    void addUntold(const QString& place, const QStringList& trees, Untold::Why why = Untold::Why::Unknown);
    Drive driveOf(const Source& source);

    QList<std::pair<QString, QString>> pairs_;
    QList<Untold> untold_;
    // The identity each attached drive shows (nullopt: none) and how many show each; read once,
    // when first needed.
    struct Attached {
        QHash<QString, std::optional<QString>> identityAt;
        QHash<QString, qsizetype> carrying;
    };
    std::optional<Attached> attached_;
};
