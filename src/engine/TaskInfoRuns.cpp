// Backup and restore runs of a task: the checks before a run, and the plain-copy runs (the
// archive runs are in TaskInfoArchiveRuns.cpp).
// Every run leaves the previous backup and the user's files as they were when it fails or is cancelled.
#include "TaskInfo.h"

#include "BackgroundFlush.h"
#include "Clock.h"
#include "EngineLog.h"
#include "ExternalVolumes.h"
#include "FailPoint.h"
#include "FileCopier.h"
#include "PendingRemovals.h"
#include "ProgressReceiver.h"
#include "RestorePlacement.h"
#include "SourcePairing.h"
#include "TaskLock.h"
#include "TaskPaths.h"
#include "UtilityFunctions.h"
#include "WorkFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cerrno>
#include <tuple>
#include <sys/stat.h>

namespace {

const QString kCancelMarker = QStringLiteral("_userCanceled");

QString tr(const char* text)
{
    return QCoreApplication::translate("TaskInfo", text);
}

bool makeParent(const QString& path, QString* error)
{
    const QString parent = QFileInfo(path).absolutePath();
    if (QFileInfo(parent).isDir() || QDir().mkpath(parent))
        return true;
    if (error)
        *error = TaskPaths::systemError(parent, errno ? errno : EACCES);
    return false;
}

// The old item that a commit left in its work folder goes in the background: the new one is
// complete and flushed, and deleting a large tree can take as long as copying it.
void removeInBackground(const QString& task, const WorkFolder& work)
{
    PendingRemovals::hand(task, [work] {
        QString error;
        if (!work.remove(&error))
            qCWarning(lcRuns).noquote() << error;
    });
}

// Says how many folders the measure of the sources could not read (and logs which), or nothing.
QString unreadableNote(const QStringList& unreadable)
{
    if (unreadable.isEmpty())
        return {};
    constexpr qsizetype kNamed = 20;
    QStringList lines { QStringLiteral("Could not read %1 folder(s) while measuring the sources:").arg(unreadable.size()) };
    lines << unreadable.mid(0, kNamed);
    if (unreadable.size() > kNamed)
        lines << QStringLiteral("and %1 more").arg(unreadable.size() - kNamed);
    qCWarning(lcRuns).noquote() << lines.join(QStringLiteral("\n    "));
    if (unreadable.size() == 1)
        return tr("1 folder of the sources could not be read: the free space was checked without it.");
    return tr("%1 folders of the sources could not be read: the free space was checked without them.")
        .arg(unreadable.size());
}

// `text`, and `note` on a line of its own when there is one.
QString withNote(const QString& text, const QString& note)
{
    if (note.isEmpty())
        return text;
    return text.isEmpty() ? note : text + QLatin1Char('\n') + note;
}

void logCopierNotes(const FileCopier& copier)
{
    for (const QString& skipped : copier.skippedSpecialFiles())
        qCInfo(lcRuns).noquote() << "Skipped special file:" << skipped;
    for (const QString& note : copier.notes())
        qCInfo(lcRuns).noquote() << note;
}

} // namespace

QString TaskInfo::backupStamp()
{
    return QLocale::c().toString(Clock::current()->now(), QStringLiteral("yyyy-MM-dd, h:mm AP"));
}

void TaskInfo::recoverAndClean(const QString& item)
{
    const QString note = WorkFolder::recoverAndClean(item);
    if (!note.isEmpty())
        qCWarning(lcRuns).noquote() << note;
}

QString TaskInfo::checkPathEntry(const QString& entry, const QString& prefix)
{
    const QString path = pathPart(entry);
    if (path.split('/').size() < 3)
        return {};
    if (!TaskPaths::exists(path))
        return prefix + tr("Path Not Found!");
    const int separator = entry.indexOf(';');
    if (separator >= 0) {
        const QString identity = entry.section(';', 1, 1);
        const std::optional<QString> found = UtilityFunctions::getVolumeUUID(path);
        if (!found || *found != identity)
            return tr("Device is not exist");
    }
    return {};
}

bool TaskInfo::performBackup(ProgressReceiver* progressWindow, QString& message)
{
    runError_.clear();
    if (!TaskPaths::isValidTaskName(taskName)) {
        message = tr("The task name \"%1\" cannot be used as a folder name.").arg(taskName);
        return false;
    }
    for (const QString& entry : backupSrc) {
        const QString problem = checkPathEntry(entry, tr("Source"));
        if (!problem.isEmpty()) {
            message = problem;
            return false;
        }
    }
    message = checkPathEntry(backupDest, tr("Destination"));
    if (!message.isEmpty())
        return false;

    message = TaskPaths::overlapProblem(sourcePaths(), pathPart(backupDest), taskFolder());
    if (!message.isEmpty())
        return false;

    const std::optional<TaskLock> lock = lockAndRecover(false, progressWindow, message);
    if (!lock)
        return BackupRestoreCancel ? endRun(false, message, {}) : false;
    // A restore stopped by a crash may have left a work folder in a source: not the user's
    // to back up.
    for (const QString& source : TaskPaths::withoutNested(sourcePaths()))
        recoverAndClean(source);

    // Folders that cannot be read do not stop the run (the copy says what it meets there),
    // but the space check missed what they hold, and the run's message says so.
    QStringList unreadable;
    workFoldersInSources_.clear();
    const qint64 needed =
        UtilityFunctions::getTotalSize(TaskPaths::withoutNested(sourcePaths()), &unreadable, &workFoldersInSources_);
    const QString measureNote = unreadableNote(unreadable);
    if (UtilityFunctions::getFreeSpace(backupDest) < needed) {
        message = withNote(tr("Not enough space at the selected destination."), measureNote);
        return false;
    }

    bool result = false;
    switch (function) {
    case 1:
        result = copyBackup(progressWindow, message);
        break;
    case 2:
        // Once the archive is in place the backup is done, whatever a late cancel says.
        result = archiveBackup(false, progressWindow);
        break;
    case 3: {
        QString placeholder;
        if (backupSrc.size() == 1 && TaskPaths::isRealDirectory(pathPart(backupSrc.first()))) {
            const QString folder = pathPart(backupSrc.first());
            QDir dir(folder);
            if (!dir.exists() || !dir.isReadable()) {
                message = withNote(TaskPaths::systemError(folder, EACCES), measureNote);
                return false;
            }
            const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            const bool empty = std::all_of(entries.begin(), entries.end(),
                                           [](const QString& n) { return n.toLower() == ".ds_store"; });
            if (empty) {
                QFile file(folder + "/" + kPlaceholderName);
                if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write("temp") == 4)
                    placeholder = file.fileName();
            }
        }
        result = archiveBackup(true, progressWindow);
        if (!placeholder.isEmpty())
            QFile::remove(placeholder); // only the file this run put there
        break;
    }
    default:
        message = tr("This task has no valid backup mode.");
        break;
    }

    const bool done = endRun(result, message, tr("The backup could not be written."));
    if (message != kCancelMarker)
        message = withNote(message, measureNote);
    return done;
}

QStringList TaskInfo::sourcePaths() const
{
    QStringList paths;
    for (const QString& entry : backupSrc)
        paths << QDir::cleanPath(pathPart(entry));
    return paths;
}

std::optional<TaskLock> TaskInfo::lockAndRecover(bool restoring, ProgressReceiver* progressWindow, QString& message) const
{
    QString error;
    std::optional<TaskLock> lock = TaskLock::acquire(pathPart(backupDest), taskName, restoring, &error);
    if (!lock) {
        message = error;
        return lock;
    }
    // What the last run of this task left to the background is done before anything is read.
    const QString folder = taskFolder();
    bool waited = false;
    const bool settled = PendingRemovals::settle(folder, BackupRestoreCancel, [progressWindow, &waited] {
        waited = true;
        if (progressWindow)
            progressWindow->waitingFor(tr("Waiting for the last run's clean-up..."));
    });
    if (waited && progressWindow)
        progressWindow->waitingFor({});
    if (!settled)
        return std::nullopt;
    // A plain copy interrupted between its two renames, and the archives' temporaries.
    recoverAndClean(folder);
    recoverAndClean(folder + "/backup.7z");
    recoverAndClean(folder + "/backup.enc");
    return lock;
}

bool TaskInfo::endRun(bool result, QString& message, const QString& fallback)
{
    // A cancel shows nothing; any other failure always says why.
    if (!result && BackupRestoreCancel)
        message = kCancelMarker;
    else if (!result && message.isEmpty())
        message = runError_.isEmpty() ? fallback : runError_;
    BackupRestoreCancel = false;
    removeWhenCancelList.clear();
    return result;
}

bool TaskInfo::copyBackup(ProgressReceiver* progressWindow, QString& message)
{
    copyProgressDelegate = progressWindow;
    const QString folder = taskFolder();
    // The new copy grows in a work folder beside the old one and replaces it only once complete.
    QString error;
    int err = 0;
    std::optional<WorkFolder> work = WorkFolder::create(folder, &error, &err);
    if (!work || ::mkdir(QFile::encodeName(work->newItem()).constData(), 0777) != 0) {
        message = work ? TaskPaths::systemError(work->newItem(), errno) : TaskPaths::writeProblem(QFileInfo(folder).path(), err);
        if (work)
            work->remove();
        return false;
    }
    const QString staging = work->newItem();
    copiedBytes = 0;
    if (progressWindow)
        startBackupSizeTimer(10);
    const QString stamp = backupStamp();

    auto fail = [&](const QString& text) {
        stopBackupSizeTimer();
        work->remove();
        if (!text.isEmpty())
            message = text;
        return false;
    };

    FileCopier copier;
    copier.setCancelFlag(&BackupRestoreCancel);
    copier.setByteCounter(&copiedBytes);
    copier.setFollowTopLink(true);
    std::optional<BackgroundFlush> flusher(std::in_place, staging);
    // A source listed again or lying inside another is already in the copy.
    for (const QString& source : TaskPaths::withoutNested(sourcePaths())) {
        if (BackupRestoreCancel)
            return fail({});
        const QString target = staging + source;
        removeWhenCancelList << folder + source;
        if (!makeParent(target, &error))
            return fail(error);
        // What the backup in place holds unchanged is linked from it, not copied again; it
        // stays whole until the commit swaps the new copy in.
        copier.setPreviousCopy(folder + source);
        switch (copier.copy(source, target)) {
        case FileCopier::Result::Ok:
            break;
        case FileCopier::Result::Cancelled:
            return fail({});
        case FileCopier::Result::Failed:
            qCWarning(lcRuns).noquote() << copier.errorString();
            return fail(copier.errorString());
        }
        logCopierNotes(copier);
        qCInfo(lcRuns) << "Copy complete";
        FailPoint::hit("backup-source-copied");
    }
    if (BackupRestoreCancel)
        return fail({});

    flusher.reset();
    if (copier.linkedFiles() > 0)
        qCInfo(lcRuns).noquote() << copier.linkedFiles() << "unchanged files linked from the previous backup";
    if (!work->commit(&error))
        return fail(error);
    removeInBackground(folder, *work);
    stopBackupSizeTimer();
    recordFixedSources();
    lastBackupDate = stamp;
    return true;
}

bool TaskInfo::performRestore(const QString& password, ProgressReceiver* progressWindow, QString& message)
{
    runError_.clear();
    if (!TaskPaths::isValidTaskName(taskName)) {
        message = tr("The task name \"%1\" cannot be used as a folder name.").arg(taskName);
        return false;
    }
    message = checkPathEntry(backupDest, tr("Destination"));
    if (!message.isEmpty())
        return false;

    const std::optional<TaskLock> lock = lockAndRecover(true, progressWindow, message);
    if (!lock)
        return BackupRestoreCancel ? endRun(false, message, {}) : false;

    bool result = false;
    switch (function) {
    case 1:
        result = copyRestore(progressWindow, message);
        break;
    case 2:
        result = archiveRestore(false, password, progressWindow, message);
        break;
    case 3:
        result = archiveRestore(true, password, progressWindow, message);
        break;
    default:
        message = tr("This task has no valid backup mode.");
        break;
    }

    return endRun(result, message, tr("Unknown reason"));
}

SourcePairing TaskInfo::pairing() const
{
    return SourcePairing(backupSrc, fixedSourcePaths, fixedSourceIdentities);
}

void TaskInfo::keepFixedSourcesOf(const TaskInfo& before, bool sameBackup)
{
    // What the backup holds does not change with the sources that will go into the next one.
    fixedSourcePaths = sameBackup ? before.fixedSourcePaths : QStringList();
    fixedSourceIdentities = sameBackup ? before.fixedSourceIdentities : QStringList();
}

QList<std::pair<QString, QString>> TaskInfo::heldSources(const SourcePairing& pairing) const
{
    const QString folder = taskFolder();
    QList<std::pair<QString, QString>> held = pairing.pairs();
    held.removeIf([&folder](const std::pair<QString, QString>& pair) { return !TaskPaths::exists(folder + pair.first); });
    return held;
}

void TaskInfo::recordFixedSources()
{
    fixedSourcePaths = sourcePaths();
    QStringList identities;
    for (const QString& entry : std::as_const(backupSrc))
        identities << UtilityFunctions::identityPart(entry);
    fixedSourceIdentities = identities;
}

QStringList TaskInfo::sourcesOnAnotherDrive() const
{
    QStringList found;
    for (const QString& entry : backupSrc) {
        const QString identity = UtilityFunctions::identityPart(entry);
        if (!entry.contains(';') || UtilityFunctions::isAmbiguousIdentity(identity))
            continue;
        const QString path = QDir::cleanPath(pathPart(entry));
        if (!ExternalVolumes::mountRoot(path))
            continue; // not attached: the run says so
        // A drive that shows no identity is not another one: the pairing cannot tell it, and names it.
        const std::optional<QString> now = UtilityFunctions::readVolumeUUID(path);
        if (now && !now->isEmpty() && *now != identity)
            found << path;
    }
    return found;
}

QString TaskInfo::notInLastBackupText(const QString& source)
{
    return tr("\"%1\" is not in the last backup.").arg(source);
}

QString TaskInfo::onAnotherDriveText(const QString& source, const QString& tree) const
{
    return tr("\"%1\" is on another drive than the one it was backed up from: it was not restored.").arg(source)
        + whereTheBackupIs(tree);
}

QString TaskInfo::cannotTellText(const QString& source, const QString& tree, bool twins) const
{
    const QString sentence = twins
        ? tr("\"%1\" was not restored: more than one attached drive carries the identity of the drive it was backed up "
             "from. Leave only that drive attached, then restore again.")
        : tr("\"%1\" was not restored: it cannot be told that the drive in its place is the one it was backed up from.");
    return sentence.arg(source) + whereTheBackupIs(tree);
}

QString TaskInfo::whereTheBackupIs(const QString& tree) const
{
    if (tree.isEmpty())
        return {};
    const QString folder = taskFolder();
    switch (function) {
    case 1:
        return " " + tr("Its backup is the plain folder \"%1\": copy from there what you need.").arg(folder + tree);
    case 2:
        return " " + tr("Its backup is in the 7z archive \"%1\", which any 7z program opens.").arg(folder + "/backup.7z");
    case 3:
        // The archive's key is made from the task's password: Decrypt derives it, other 7z programs do not.
        return " "
            + tr("Its backup is in the encrypted 7z archive \"%1\": Decrypt on the Security page opens it with the task's password.")
                  .arg(folder + "/backup.enc");
    default:
        return {};
    }
}

bool TaskInfo::copyRestore(ProgressReceiver* progressWindow, QString& message)
{
    copyProgressDelegate = progressWindow;
    const QString folder = taskFolder();

    // Everything is checked before the first item is touched. Sources added since the last
    // backup are named; the ones it holds come back.
    const SourcePairing paired = pairing();
    QList<std::pair<QString, QString>> held = heldSources(paired);
    QStringList named;
    const QStringList namedLines = namedSources(paired, [&folder](const QString& tree) { return TaskPaths::exists(folder + tree); }, named);
    held.removeIf([&named](const std::pair<QString, QString>& pair) { return named.contains(pair.second); });
    QStringList notHeld;
    for (const QString& source : sourcePaths()) {
        if (!named.contains(source) && std::none_of(held.begin(), held.end(), [&source](const auto& pair) { return pair.second == source; }))
            notHeld << source;
    }
    if (held.isEmpty()) {
        if (namedLines.isEmpty()) {
            message = tr("The last backup does not hold any source of this task. Run the backup first.");
            return false;
        }
        return reportLeftOut(false, namedLines, notHeld, message);
    }
    QStringList roots, places;
    for (const auto& [root, source] : held) {
        // A source inside another comes back with it.
        if (std::any_of(held.begin(), held.end(), [&root](const std::pair<QString, QString>& other) {
                return other.first != root && TaskPaths::isInsideOrEqual(root, other.first);
            }) || roots.contains(root))
            continue;
        const QString place = TaskPaths::restorePlace(source, TaskPaths::isLink(folder + root));
        if (TaskPaths::onMissingVolume(place)) {
            message = tr("Device is not exist");
            return false;
        }
        roots << root;
        places << place;
    }
    for (qsizetype i = 0; i < roots.size(); ++i) {
        const QString found = RestorePlacement::conflictAt(folder + roots.at(i), places.at(i));
        if (!found.isEmpty()) {
            message = inTheWay(found);
            return false;
        }
    }
    for (const QString& place : std::as_const(places))
        recoverAndClean(place);

    RestorePlacement placement(BackupRestoreCancel, folder);
    QList<RestorePlacement::Tree> trees;
    for (qsizetype i = 0; i < roots.size(); ++i)
        trees.append({places.at(i), TaskPaths::isRealDirectory(folder + roots.at(i))});
    placement.prepare(trees);

    copiedBytes = 0;
    if (progressWindow)
        startRestoreSizeTimer(10);
    FileCopier copier;
    copier.setCancelFlag(&BackupRestoreCancel);
    copier.setByteCounter(&copiedBytes);
    copier.setDeferFolderAttributes(true);
    bool ok = true;
    for (qsizetype i = 0; ok && i < roots.size(); ++i) {
        if (!placement.isPrepared(i))
            continue;
        FailPoint::hit("restore-work-folder-made");
        const BackgroundFlush flusher(placement.workFolder(i));
        if (copier.copy(folder + roots.at(i), placement.staging(i)) != FileCopier::Result::Ok) {
            // The copier names the file it read on the drive, which is not the disk that is full.
            if (!BackupRestoreCancel)
                message = copier.errorNumber() == ENOSPC ? TaskPaths::noRoomToRestore(places.at(i)) : copier.errorString();
            ok = false;
            break;
        }
        logCopierNotes(copier);
        for (const FileCopier::FolderAttributes& attributes : copier.takeDeferredFolders())
            placement.setFolderAttributes(i, QByteArray::fromStdString(attributes.relative), attributes.mode, attributes.modified);
    }
    if (ok)
        FailPoint::hit("restore-staged");
    ok = ok && placement.place(&message);
    stopRestoreSizeTimer();
    placement.removeWorkFolders();
    if (!ok)
        return false;
    qCInfo(lcRuns) << "Copy complete";
    return reportLeftOut(placement.preparedAny(), placement.notRestored() + namedLines, notHeld, message);
}

QStringList TaskInfo::namedSources(const SourcePairing& paired, const std::function<bool(const QString&)>& holds,
                                   QStringList& named) const
{
    QStringList lines;
    // Another card of the same name in a source's place is not where that source came from.
    const QStringList elsewhere = sourcesOnAnotherDrive();
    for (const QString& source : elsewhere) {
        QString tree;
        for (const auto& [stored, place] : paired.pairs()) {
            if (place == source && holds(stored)) {
                tree = stored;
                break;
            }
        }
        lines << onAnotherDriveText(source, tree);
        named << source;
    }
    for (const SourcePairing::Untold& untold : paired.untold()) {
        if (named.contains(untold.place))
            continue;
        const auto tree = std::find_if(untold.trees.begin(), untold.trees.end(), holds);
        if (tree == untold.trees.end())
            continue;   // not in the last backup
        lines << cannotTellText(untold.place, *tree, untold.why == SourcePairing::Untold::Why::Twins);
        named << untold.place;
    }
    return lines;
}

bool TaskInfo::reportLeftOut(bool restoredAny, const QStringList& notRestored, const QStringList& notHeld, QString& message)
{
    if (notRestored.isEmpty() && notHeld.isEmpty())
        return true;
    QStringList lines { restoredAny ? tr("Not everything was restored; everything else is back in place.")
                                    : tr("Nothing was restored.") };
    lines << notRestored;
    for (const QString& source : notHeld)
        lines << notInLastBackupText(source);
    message = lines.join(QLatin1Char('\n'));
    return false;
}

QString TaskInfo::inTheWay(const QString& path)
{
    return tr("\"%1\" is in the way of the restore (a link, or a file where a folder belongs).").arg(path);
}

bool TaskInfo::hasCompleteBackup() const
{
    const QString folder = taskFolder();
    const bool present = function == 1 ? TaskPaths::isRealDirectory(folder)
        : function == 2                ? QFileInfo(folder + "/backup.7z").isFile()
        : function == 3                ? QFileInfo(folder + "/backup.enc").isFile()
                                       : false;
    if (!present)
        return false;
    // A plain copy holds the trees that are there; an archive is read only by the restore.
    const auto held = [this, &folder](const QString& tree) { return function != 1 || TaskPaths::exists(folder + tree); };
    const SourcePairing paired = pairing();
    if (std::any_of(paired.pairs().begin(), paired.pairs().end(), [&held](const auto& pair) { return held(pair.first); }))
        return true;
    // A tree withheld only because of the drives attached now keeps the task on the Restore
    // page: its restore says where the backup is and what to do.
    return std::any_of(paired.untold().begin(), paired.untold().end(), [&held](const SourcePairing::Untold& untold) {
        return untold.byAttachedDrives() && std::any_of(untold.trees.begin(), untold.trees.end(), held);
    });
}
