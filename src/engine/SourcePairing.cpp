#include "SourcePairing.h"

#include "ExternalVolumes.h"
#include "TaskInfo.h"
#include "UtilityFunctions.h"

#include <QDir>

SourcePairing::SourcePairing(const QStringList& sources, const QStringList& recordedPaths,
                             const QStringList& recordedIdentities)
{
    QList<Source> list;
    for (const QString& entry : sources)
        list.append(sourceOf(entry));
    QList<Tree> trees;
    const qsizetype recorded = std::min(recordedPaths.size(), recordedIdentities.size());
    for (qsizetype k = 0; k < recorded; ++k) {
        const Tree tree { QDir::cleanPath(recordedPaths.at(k)), recordedIdentities.at(k) };
        if (!recordedPaths.at(k).isEmpty() && !trees.contains(tree))
            trees << tree;
    }
    if (trees.isEmpty())
        pairKnowingNothing(list);
    else
        pairByDrive(list, trees);
}

SourcePairing::Source SourcePairing::sourceOf(const QString& entry)
{
    const QString place = QDir::cleanPath(TaskInfo::pathPart(entry));
    return { place, UtilityFunctions::identityPart(entry), entry.contains(';') || ExternalVolumes::isExternalPath(place) };
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
    // Below its drive's root, whichever drive that is.
    const auto belowRoot = [](const QString& path) {
        const std::optional<QString> root = ExternalVolumes::volumeRoot(path);
        return root ? std::optional<QString>(path.mid(root->size())) : std::nullopt;
    };
    for (qsizetype k = 0; k < trees.size(); ++k) {
        const Tree& tree = trees.at(k);
        if (tree.identity == TaskInfo::kUnknownIdentity) {
            // Of no drive that can be told: any source on a drive at its place could be its.
            const std::optional<QString> below = belowRoot(tree.stored);
            for (qsizetype i = 0; below && i < sources.size(); ++i) {
                if (sources.at(i).onDrive && belowRoot(sources.at(i).place) == below)
                    maybe[i] << tree.stored;
            }
            continue;
        }
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
        // A source listed twice is one place; two places are no answer.
        if (placed || places.size() != 1)
            continue;
        for (qsizetype i : std::as_const(candidates))
            fromElsewhere[i] << k;
    }
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const Source& source = sources.at(i);
        qsizetype k = atItsPlace.at(i);
        if (k < 0 && fromElsewhere.at(i).size() == 1)
            k = fromElsewhere.at(i).first();
        if (k >= 0)
            give(source, trees.at(k).stored, maybe.at(i));
        else if (!maybe.at(i).isEmpty())
            addUntold(source.place, maybe.at(i), driveOf(source) == Drive::Twins ? Untold::Why::Twins : Untold::Why::Unknown);
    }
}

void SourcePairing::give(const Source& source, const QString& tree, const QStringList& couldBeIts)
{
    const Drive drive = driveOf(source);
    if (drive == Drive::Tells) {
        pairs_.append({ tree, source.place });
        return;
    }
    QStringList named { tree };
    for (const QString& other : couldBeIts) {
        if (!named.contains(other))
            named << other;
    }
    addUntold(source.place, named, drive == Drive::Twins ? Untold::Why::Twins : Untold::Why::DriveInPlace);
}

SourcePairing::Drive SourcePairing::driveOf(const Source& source)
{
    // A folder of the computer goes by its path.
    if (!source.onDrive)
        return Drive::Tells;
    const std::optional<QString> root = ExternalVolumes::mountRoot(source.place);
    if (!root)
        return Drive::Tells;   // not attached: the run says so before it writes anything
    if (!attached_) {
        attached_.emplace();
        for (const QString& mounted : ExternalVolumes::mountedRoots()) {
            const std::optional<QString> shown = UtilityFunctions::readVolumeUUID(mounted + "/");
            attached_->identityAt.insert(QDir::cleanPath(mounted), shown);
            if (shown)
                ++attached_->carrying[*shown];
        }
    }
    const std::optional<QString> shown = attached_->identityAt.value(*root);
    const bool showsOne = shown && !UtilityFunctions::isAmbiguousIdentity(*shown);
    // A tree of no identity cannot be told from another drive's, unless the drive shows none either.
    if (UtilityFunctions::isAmbiguousIdentity(source.identity))
        return showsOne ? Drive::CannotTell : Drive::Tells;
    if (attached_->carrying.value(source.identity) > 1)
        return Drive::Twins;
    // Another drive's identity tells too: the restore refuses that drive by name.
    return showsOne ? Drive::Tells : Drive::CannotTell;
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

void SourcePairing::addUntold(const QString& place, const QStringList& trees, Untold::Why why)
{
    // A source listed twice is named once.
    if (std::none_of(untold_.begin(), untold_.end(), [&place](const Untold& untold) { return untold.place == place; }))
        untold_.append({ place, trees, why });
}
