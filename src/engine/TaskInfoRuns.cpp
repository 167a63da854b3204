// Backup and restore runs of a task: checks, plain copies and 7z archives.
// Every run leaves the previous backup and the user's files as they were when it fails or is cancelled.
#include "TaskInfo.h"

#include "ArchivePassword.h"
#include "BackgroundFlush.h"
#include "Clock.h"
#include "DiskSync.h"
#include "DispatchQueue.h"
#include "ExternalVolumes.h"
#include "FailPoint.h"
#include "FileCopier.h"
#include "LzmaSDKObjCItem.h"
#include "LzmaSDKObjCReader.h"
#include "LzmaSDKObjCWriter.h"
#include "ProgressReceiver.h"
#include "RestorePlacement.h"
#include "SevenZipListing.h"
#include "TaskLock.h"
#include "TaskPaths.h"
#include "UtilityFunctions.h"
#include "WorkFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

Q_LOGGING_CATEGORY(lcRuns, "zorvi.engine.runs")

namespace {

const QString kCancelMarker = QStringLiteral("_userCanceled");
const QString kPlaceholderName = QStringLiteral("MXTemp.tmp");

QString tr(const char* text)
{
    return QCoreApplication::translate("TaskInfo", text);
}

QString systemError(const QString& path, int error)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool isLink(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool isRealDirectory(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeParent(const QString& path, QString* error)
{
    const QString parent = QFileInfo(path).absolutePath();
    if (QFileInfo(parent).isDir() || QDir().mkpath(parent))
        return true;
    if (error)
        *error = systemError(parent, errno ? errno : EACCES);
    return false;
}

// A place on an external volume that is not mounted now: restoring there would create the
// mount point's folder on the system disk instead.
bool onMissingVolume(const QString& path)
{
    return ExternalVolumes::volumeRoot(path).has_value() && !ExternalVolumes::mountRoot(path).has_value();
}

// "yyyy-MM-dd, h:mm a" with "AM"/"PM" whatever the user's locale.
QString backupStamp()
{
    return QLocale::c().toString(Clock::current()->now(), QStringLiteral("yyyy-MM-dd, h:mm AP"));
}

// Stops a blocking archive call when the task's cancel flag is raised.
class CancelWatch {
public:
    CancelWatch(const std::atomic<bool>& flag, std::function<void()> stop)
        : thread_([&flag, stop = std::move(stop)](std::stop_token token) {
            while (!token.stop_requested()) {
                if (flag.load()) {
                    stop();
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        })
    {
    }

private:
    std::jthread thread_;
};

// Mends what a run stopped by a crash left around `item`, then removes our temporaries there.
void recoverAndClean(const QString& item)
{
    const QString note = WorkFolder::recoverAndClean(item);
    if (!note.isEmpty())
        qCWarning(lcRuns).noquote() << note;
}

// The old item that a commit left in its work folder goes in the background: the new one is
// complete and flushed, and deleting a large tree can take as long as copying it.
void removeInBackground(const WorkFolder& work)
{
    DispatchQueue::background().async([work] {
        QString error;
        if (!work.remove(&error))
            qCWarning(lcRuns).noquote() << error;
    });
}

void logCopierNotes(const FileCopier& copier)
{
    for (const QString& skipped : copier.skippedSpecialFiles())
        qCInfo(lcRuns).noquote() << "Skipped special file:" << skipped;
    for (const QString& note : copier.notes())
        qCInfo(lcRuns).noquote() << note;
}

// Where a restore writes a source back. A source that is a link to a folder was backed up as
// what it points to (unless the backup holds the link itself), so that is where it goes back.
QString restorePlace(const QString& place, bool backupIsLink)
{
    if (!backupIsLink && isLink(place))
        return QDir::cleanPath(QFileInfo(place).symLinkTarget());
    return place;
}

} // namespace

QString TaskInfo::checkPathEntry(const QString& entry, const QString& prefix)
{
    const QString path = pathPart(entry);
    if (path.split('/').size() < 3)
        return {};
    if (!lexists(path))
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

    const std::optional<TaskLock> lock = lockAndRecover(false, message);
    if (!lock)
        return false;
    // A restore stopped by a crash may have left a work folder in a source: not the user's
    // to back up.
    for (const QString& source : TaskPaths::withoutNested(sourcePaths()))
        recoverAndClean(source);

    if (UtilityFunctions::getFreeSpace(backupDest) < UtilityFunctions::getTotalSize(TaskPaths::withoutNested(sourcePaths()))) {
        message = tr("Not enough space at the selected destination.");
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
        if (backupSrc.size() == 1 && isRealDirectory(pathPart(backupSrc.first()))) {
            const QString folder = pathPart(backupSrc.first());
            QDir dir(folder);
            if (!dir.exists() || !dir.isReadable()) {
                message = systemError(folder, EACCES);
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

    return endRun(result, message, tr("The backup could not be written."));
}

QStringList TaskInfo::sourcePaths() const
{
    QStringList paths;
    for (const QString& entry : backupSrc)
        paths << QDir::cleanPath(pathPart(entry));
    return paths;
}

std::optional<TaskLock> TaskInfo::lockAndRecover(bool restoring, QString& message) const
{
    QString error;
    std::optional<TaskLock> lock = TaskLock::acquire(pathPart(backupDest), taskName, restoring, &error);
    if (!lock) {
        message = error;
        return lock;
    }
    // A plain copy interrupted between its two renames, and the archives' temporaries.
    const QString folder = taskFolder();
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
        message = work ? systemError(work->newItem(), errno) : TaskPaths::writeProblem(QFileInfo(folder).path(), err);
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
    }
    if (BackupRestoreCancel)
        return fail({});

    flusher.reset();
    if (copier.linkedFiles() > 0)
        qCInfo(lcRuns).noquote() << copier.linkedFiles() << "unchanged files linked from the previous backup";
    if (!work->commit(&error))
        return fail(error);
    removeInBackground(*work);
    stopBackupSizeTimer();
    fixedSourcePaths = sourcePaths();
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

    const std::optional<TaskLock> lock = lockAndRecover(true, message);
    if (!lock)
        return false;

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

QList<std::pair<QString, QString>> TaskInfo::heldSources(QStringList* notHeld) const
{
    const QString folder = taskFolder();
    const QStringList sources = sourcePaths();
    QStringList fixed;
    for (const QString& path : fixedSourcePaths)
        fixed << QDir::cleanPath(path);
    QList<std::pair<QString, QString>> held;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QString& source = sources.at(i);
        QString root;
        if (fixed.contains(source)) {
            root = source;
        } else if (i < fixed.size() && !sources.contains(fixed.at(i))) {
            // The same item on a drive that is mounted under another name since the backup.
            const std::optional<QString> volume = ExternalVolumes::volumeRoot(source);
            if (volume && ExternalVolumes::isExternalPath(fixed.at(i))
                && UtilityFunctions::replaceVolumePrefix(fixed.at(i), *volume) == source)
                root = fixed.at(i);
        }
        if (!root.isEmpty() && lexists(folder + root))
            held.append({root, source});
        else if (notHeld)
            *notHeld << source;
    }
    return held;
}

bool TaskInfo::copyRestore(ProgressReceiver* progressWindow, QString& message)
{
    copyProgressDelegate = progressWindow;
    const QString folder = taskFolder();

    // Everything is checked before the first item is touched. Sources added since the last
    // backup are named; the ones it holds come back.
    QStringList notHeld;
    const QList<std::pair<QString, QString>> held = heldSources(&notHeld);
    if (held.isEmpty()) {
        message = tr("The last backup does not hold any source of this task. Run the backup first.");
        return false;
    }
    QStringList roots, places;
    for (const auto& [root, source] : held) {
        // A source inside another comes back with it.
        if (std::any_of(held.begin(), held.end(), [&root](const std::pair<QString, QString>& other) {
                return other.first != root && TaskPaths::isInsideOrEqual(root, other.first);
            }) || roots.contains(root))
            continue;
        const QString place = restorePlace(source, isLink(folder + root));
        if (onMissingVolume(place)) {
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

    RestorePlacement placement(BackupRestoreCancel);
    QList<RestorePlacement::Tree> trees;
    for (qsizetype i = 0; i < roots.size(); ++i)
        trees.append({places.at(i), isRealDirectory(folder + roots.at(i))});
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
            if (!BackupRestoreCancel)
                message = copier.errorString();
            ok = false;
            break;
        }
        logCopierNotes(copier);
        const QByteArray staging = QFile::encodeName(placement.staging(i));
        for (const FileCopier::FolderAttributes& attributes : copier.takeDeferredFolders()) {
            QByteArray relative = QByteArray::fromStdString(attributes.path).mid(staging.size());
            if (relative.startsWith('/'))
                relative.remove(0, 1);
            placement.setFolderAttributes(i, relative, attributes.mode, attributes.modified);
        }
    }
    if (ok)
        FailPoint::hit("restore-staged");
    ok = ok && placement.place(&message);
    stopRestoreSizeTimer();
    placement.removeWorkFolders();
    if (!ok)
        return false;
    qCInfo(lcRuns) << "Copy complete";
    return reportLeftOut(placement.notRestored(), notHeld, message);
}

bool TaskInfo::reportLeftOut(const QStringList& notRestored, const QStringList& notHeld, QString& message)
{
    if (notRestored.isEmpty() && notHeld.isEmpty())
        return true;
    QStringList lines{tr("Not everything was restored; everything else is back in place.")};
    lines << notRestored;
    for (const QString& source : notHeld)
        lines << tr("\"%1\" is not in the last backup.").arg(source);
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
    switch (function) {
    case 1:
        return isRealDirectory(folder) && !heldSources(nullptr).isEmpty();
    case 2:
        return QFileInfo(folder + "/backup.7z").isFile();
    case 3:
        return QFileInfo(folder + "/backup.enc").isFile();
    default:
        return false;
    }
}

bool TaskInfo::archiveBackup(bool encrypt, ProgressReceiver* progressWindow)
{
    const QString stamp = backupStamp();
    const QString folder = taskFolder();
    // Written under a temporary name and renamed over the final one by the writer only on success,
    // so a failed or cancelled run keeps the previous archive.
    const QString archivePath = folder + (encrypt ? "/backup.enc" : "/backup.7z");
    const bool existed = lexists(folder);
    if (!QDir().mkpath(folder)) {
        runError_ = TaskPaths::writeProblem(QFileInfo(folder).path(), errno ? errno : EACCES);
        return false;
    }
    if (!existed)
        DiskSync::syncDirectory(QFileInfo(folder).path());
    removeWhenCancelList << archivePath;

    LzmaSDKObjCWriter writer(archivePath);
    for (const QString& path : TaskPaths::withoutNested(sourcePaths())) {
        if (!lexists(path)) {
            runError_ = tr("Source") + tr("Path Not Found!");
            return false;
        }
        writer.addPath(path, path);
    }
    if (progressWindow)
        writer.setDelegate(progressWindow);
    if (encrypt) {
        const QString archiveKey = ArchivePassword::archivePassword(password);
        writer.setPasswordGetter([archiveKey] { return archiveKey; });
    }
    writer.applyArchiveSettings(encrypt);

    QString error;
    if (!writer.open(&error)) {
        qCWarning(lcRuns).noquote() << error;
        runError_ = error;
        return false;
    }
    bool written;
    {
        CancelWatch watch(BackupRestoreCancel, [&writer] { writer.cancel(); });
        written = writer.write();
    }
    if (!written) {
        runError_ = writer.wasCancelled() ? QString() : writer.lastError();
        return false;
    }
    FailPoint::hit("archive-committed");
    lastBackupDate = stamp;
    return true;
}

QString TaskInfo::foreignItem(const QList<LzmaSDKObjCItem>& items) const
{
    const QStringList sources = sourcePaths();
    for (const LzmaSDKObjCItem& item : items) {
        const QString name = QDir::cleanPath("/" + item.path);
        const bool ours = std::any_of(sources.begin(), sources.end(), [&name](const QString& source) {
            return !source.isEmpty() && TaskPaths::isInsideOrEqual(name, source);
        });
        if (!ours)
            return item.path;
    }
    return {};
}

bool TaskInfo::archiveRestore(bool encrypted, const QString& typedPassword, ProgressReceiver* progressWindow, QString& message)
{
    const QString archivePath = taskFolder() + (encrypted ? "/backup.enc" : "/backup.7z");

    LzmaSDKObjCReader reader(archivePath, 1);
    if (progressWindow)
        reader.setDelegate(progressWindow);
    if (encrypted) {
        const QString archiveKey = ArchivePassword::archivePassword(typedPassword);
        reader.setPasswordGetter([archiveKey] { return archiveKey; });
    }
    QString error;
    if (!reader.open(&error)) {
        if (encrypted) {
            const QString suffixed = ArchivePassword::suffixForm(typedPassword);
            reader.setPasswordGetter([suffixed] { return suffixed; });
        }
        if (!reader.open(&error)) {
            qCWarning(lcRuns).noquote() << "Can't open archive: " << error << " ";
            message = QStringLiteral("Can't open archive.");
            return false;
        }
    }

    QList<LzmaSDKObjCItem> items;
    reader.iterateWithHandler([&items](const LzmaSDKObjCItem& item, const QString&) {
        items << item;
        return true;
    });
    for (const LzmaSDKObjCItem& item : std::as_const(items)) {
        if (!LzmaSDKObjCReader::isSafeStoredName(item.path)) {
            message = tr("The backup holds the unsafe name \"%1\". Nothing was restored.").arg(item.path);
            return false;
        }
    }

    // Items go back to the absolute places they were stored under. The tops of the stored
    // trees are the items whose parent folder is not itself an item.
    QStringList names;
    names.reserve(items.size());
    for (const LzmaSDKObjCItem& item : std::as_const(items))
        names << QDir::cleanPath("/" + item.path);
    const QSet<QString> nameSet(names.begin(), names.end());
    QStringList roots;
    for (const QString& name : std::as_const(nameSet)) {
        if (!nameSet.contains(QFileInfo(name).path()))
            roots << name;
    }
    roots.sort();
    for (const QString& root : std::as_const(roots)) {
        if (onMissingVolume(root)) {
            message = tr("Device is not exist");
            return false;
        }
    }
    // The drive can be written by anyone who holds it: an archive that would put anything
    // outside this task's own sources is not ours to extract.
    const QString foreign = foreignItem(items);
    if (!foreign.isEmpty()) {
        message = tr("The backup holds \"%1\", which is not one of this task's sources. Nothing was restored.").arg(foreign);
        qCWarning(lcRuns).noquote() << message;
        return false;
    }
    QStringList notHeld;
    for (const QString& source : sourcePaths()) {
        if (std::none_of(roots.begin(), roots.end(), [&source](const QString& root) { return TaskPaths::isInsideOrEqual(source, root); }))
            notHeld << source;
    }

    // Which tree each item belongs to, and its path below that tree's top.
    QList<qsizetype> treeOf(items.size(), -1);
    QList<QStringList> below(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString& name = names.at(i);
        for (qsizetype r = 0; r < roots.size(); ++r) {
            const QString& root = roots.at(r);
            if (name == root || (name.startsWith(root) && name.at(root.size()) == QLatin1Char('/'))) {
                treeOf[i] = r;
                below[i] = SevenZipListing::components(name.mid(root.size()));
                break;
            }
        }
    }
    QStringList places;
    QList<RestorePlacement::Tree> trees;
    for (qsizetype r = 0; r < roots.size(); ++r) {
        bool storedAsLink = false;
        bool isFolder = false;
        QList<std::pair<QStringList, bool>> tree;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (treeOf.at(i) != r)
                continue;
            const bool folder = items.at(i).isDirectory && !items.at(i).isSymlink;
            tree.append({below.at(i), folder});
            if (below.at(i).isEmpty()) {
                storedAsLink = items.at(i).isSymlink;
                isFolder = folder;
            }
        }
        places << restorePlace(roots.at(r), storedAsLink);
        trees.append({places.last(), isFolder});
        // Refused before anything is written: a restore that would write through a symbolic
        // link or replace a folder by a file (or the reverse).
        const QString found = RestorePlacement::conflictWithItems(places.last(), tree);
        if (!found.isEmpty()) {
            message = inTheWay(found);
            return false;
        }
    }
    for (const QString& place : std::as_const(places))
        recoverAndClean(place);

    // Each tree is extracted into a work folder on its place's file system: nothing at the
    // places changes until the archive has been read whole, and a cancel only removes those.
    RestorePlacement placement(BackupRestoreCancel);
    placement.prepare(trees);
    FailPoint::hit("restore-work-folder-made");
    QStringList bases;
    QList<qsizetype> baseOfTree(roots.size(), -1);
    for (qsizetype r = 0; r < roots.size(); ++r) {
        if (placement.isPrepared(r)) {
            baseOfTree[r] = bases.size();
            bases << placement.workFolder(r);
        }
    }
    QList<ArchiveStreamWriter::Target> targets(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        const qsizetype r = treeOf.at(i);
        if (r < 0 || baseOfTree.at(r) < 0)
            continue;
        QByteArray relative = "new";
        if (!below.at(i).isEmpty())
            relative += '/' + QFile::encodeName(below.at(i).join(QLatin1Char('/')));
        targets[i] = {int(baseOfTree.at(r)), relative};
    }
    std::vector<ArchiveStreamWriter::Folder> folders;
    bool extracted = bases.isEmpty();
    if (!extracted) {
        CancelWatch watch(BackupRestoreCancel, [&reader] { reader.cancel(); });
        extracted = reader.extractTo(bases, targets, &folders);
    }
    if (!extracted || BackupRestoreCancel) {
        placement.removeWorkFolders();
        if (!BackupRestoreCancel) {
            qCWarning(lcRuns) << "Extract failed";
            message = reader.lastError().isEmpty() ? QStringLiteral("Unknown reason") : reader.lastError();
        }
        return false;
    }
    for (const ArchiveStreamWriter::Folder& folder : folders) {
        const qsizetype r = baseOfTree.indexOf(folder.base);
        const QByteArray relative = folder.relative.mid(4);   // below "new/"
        std::optional<struct timespec> modified;
        if (folder.modifiedNanoseconds >= 0)
            modified = timespec{time_t(folder.modifiedSeconds), folder.modifiedNanoseconds};
        placement.setFolderAttributes(r, relative, mode_t(folder.mode), modified);
    }

    // The placeholder that let an empty folder into an encrypted archive is not user data:
    // it is dropped before placing, so neither it nor a user's file of that name is touched.
    if (encrypted && roots.size() == 1 && placement.isPrepared(0)) {
        const QString folder = placement.staging(0);
        const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const QString placeholder = folder + "/" + kPlaceholderName;
        QFile file(placeholder);
        if (entries == QStringList { kPlaceholderName } && file.open(QIODevice::ReadOnly) && file.readAll() == "temp") {
            file.close();
            if (!QFile::remove(placeholder))
                qCWarning(lcRuns).noquote() << "FAIL:" << systemError(placeholder, errno);
        }
    }

    FailPoint::hit("restore-staged");
    const bool placed = placement.place(&message);
    placement.removeWorkFolders();
    return placed && reportLeftOut(placement.notRestored(), notHeld, message);
}
