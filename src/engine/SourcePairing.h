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
// the same path below its drive's root, and only while no other attached drive carries the
// identity (clones share it). Where neither holds, the tree goes nowhere.
//
// A task that knows nothing of its folder's backup (made anew over an old one) gives a folder
// on the computer the tree stored at its very path, and nothing on a drive. Lists of earlier
// builds, which recorded no identities, pair as they always did.
class SourcePairing {
public:
    // `sources` as the task stores them (tagged "path;identity" on a drive); `recordedPaths`
    // and `recordedIdentities` as the last backup recorded them, nullopt in lists of earlier
    // builds. `plainCopy` matters only to those.
    SourcePairing(const QStringList& sources, const QStringList& recordedPaths,
                  const std::optional<QStringList>& recordedIdentities, bool plainCopy);

    // (path of the tree in the backup, the source's place now), in source order.
    const QList<std::pair<QString, QString>>& pairs() const { return pairs_; }
    // Sources left without a tree although the backup may hold one of theirs, with the paths
    // such trees were stored under: it cannot be told they came from the drive there now.
    const QList<std::pair<QString, QStringList>>& untold() const { return untold_; }

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

    void pairByDrive(const QList<Source>& sources, const QList<Tree>& trees);
    void pairKnowingNothing(const QList<Source>& sources);
    void pairByPath(const QList<Source>& sources, const QStringList& recordedPaths, bool plainCopy);
    void addUntold(const QString& place, const QStringList& trees);
    // How many drives attached now carry `identity`; their identities are read once, when first needed.
    qsizetype drivesCarrying(const QString& identity);

    QList<std::pair<QString, QString>> pairs_;
    QList<std::pair<QString, QStringList>> untold_;
    std::optional<QHash<QString, qsizetype>> attached_;
};
