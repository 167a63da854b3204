#include "SourcePairing.h"

#include "ExternalVolumes.h"
#include "TaskInfo.h"
#include "UtilityFunctions.h"

#include <QDir>

SourcePairing::SourcePairing(const QStringList& sources, const QStringList& recordedPaths,
                             const std::optional<QStringList>& recordedIdentities, bool plainCopy)
{
    QList<Source> list;
    for (const QString& entry : sources) {
        const QString place = QDir::cleanPath(TaskInfo::pathPart(entry));
        list.append({ place, UtilityFunctions::identityPart(entry),
                      entry.contains(';') || ExternalVolumes::isExternalPath(place) });
    }
    if (!recordedIdentities) {
        pairByPath(list, recordedPaths, plainCopy);
        return;
    }
    QList<Tree> trees;
    const qsizetype recorded = std::min(recordedPaths.size(), recordedIdentities->size());
    for (qsizetype k = 0; k < recorded; ++k) {
        const Tree tree { QDir::cleanPath(recordedPaths.at(k)), recordedIdentities->at(k) };
        if (!recordedPaths.at(k).isEmpty() && !trees.contains(tree))
            trees << tree;
    }
    if (trees.isEmpty())
        pairKnowingNothing(list);
    else
        pairByDrive(list, trees);
}

void SourcePairing::pairByDrive(const QList<Source>& sources, const QList<Tree>& trees)
{
    // Same identity at the same path below the root, on a drive that can be told apart.
    const auto couldBe = [](const Tree& tree, const Source& source) {
        return !UtilityFunctions::isAmbiguousIdentity(tree.identity)
            && TaskInfo::samePlace(tree.stored, tree.identity, source.place, source.identity);
    };
    QList<qsizetype> atItsPlace(sources.size(), -1);
    QList<QList<qsizetype>> fromElsewhere(sources.size());
    QList<QStringList> maybe(sources.size());   // trees that could be the source's, stored where
    for (qsizetype k = 0; k < trees.size(); ++k) {
        const Tree& tree = trees.at(k);
        bool placed = false;
        QStringList places;
        QList<qsizetype> candidates;
        for (qsizetype i = 0; i < sources.size(); ++i) {
            const Source& source = sources.at(i);
            if (source.identity == tree.identity && source.place == tree.stored) {
                atItsPlace[i] = k;
                placed = true;
            } else if (couldBe(tree, source)) {
                candidates << i;
                maybe[i] << tree.stored;
                if (!places.contains(source.place))
                    places << source.place;
            }
        }
        // A source listed twice is one place; two places, or two drives of that identity, are
        // no answer.
        if (placed || places.size() != 1 || drivesCarrying(tree.identity) > 1)
            continue;
        for (qsizetype i : std::as_const(candidates))
            fromElsewhere[i] << k;
    }
    for (qsizetype i = 0; i < sources.size(); ++i) {
        qsizetype k = atItsPlace.at(i);
        if (k < 0 && fromElsewhere.at(i).size() == 1)
            k = fromElsewhere.at(i).first();
        if (k >= 0)
            pairs_.append({ trees.at(k).stored, sources.at(i).place });
        else if (!maybe.at(i).isEmpty())
            addUntold(sources.at(i).place, maybe.at(i));
    }
}

void SourcePairing::pairKnowingNothing(const QList<Source>& sources)
{
    for (const Source& source : sources) {
        if (source.place.isEmpty())
            continue;
        if (!source.onDrive)
            pairs_.append({ source.place, source.place });
        else
            addUntold(source.place, { source.place });
    }
}

void SourcePairing::addUntold(const QString& place, const QStringList& trees)
{
    // A source listed twice is named once.
    if (std::none_of(untold_.begin(), untold_.end(), [&place](const auto& untold) { return untold.first == place; }))
        untold_.append({ place, trees });
}

void SourcePairing::pairByPath(const QList<Source>& sources, const QStringList& recordedPaths, bool plainCopy)
{
    QStringList places;
    for (const Source& source : sources)
        places << source.place;
    if (!plainCopy) {
        // An archive's trees go back to the paths they were stored under.
        for (const QString& place : std::as_const(places)) {
            if (!place.isEmpty())
                pairs_.append({ place, place });
        }
        return;
    }
    // A plain copy's entry i belongs to source i, by its own path, or by its index when its
    // drive is mounted under another name since the backup.
    QStringList fixed;
    for (const QString& path : recordedPaths)
        fixed << QDir::cleanPath(path);
    for (qsizetype i = 0; i < places.size(); ++i) {
        const QString& place = places.at(i);
        QString root;
        if (place.isEmpty())
            continue;
        if (fixed.contains(place)) {
            root = place;
        } else if (i < fixed.size() && !fixed.at(i).isEmpty() && !places.contains(fixed.at(i))) {
            const std::optional<QString> volume = ExternalVolumes::volumeRoot(place);
            if (volume && ExternalVolumes::isExternalPath(fixed.at(i))
                && UtilityFunctions::replaceVolumePrefix(fixed.at(i), *volume) == place)
                root = fixed.at(i);
        }
        if (!root.isEmpty())
            pairs_.append({ root, place });
    }
}

qsizetype SourcePairing::drivesCarrying(const QString& identity)
{
    if (!attached_) {
        attached_.emplace();
        for (const QString& root : ExternalVolumes::mountedRoots()) {
            if (const std::optional<QString> found = UtilityFunctions::readVolumeUUID(root + "/"))
                ++(*attached_)[*found];
        }
    }
    return attached_->value(identity);
}
