// Backup and restore runs of a task: checks, plain copies and 7z archives.
// Every run leaves the previous backup and the user's files as they were when it fails or is cancelled.
#include "TaskInfo.h"

#include "ArchivePassword.h"
#include "Clock.h"
#include "DispatchQueue.h"
#include "ExternalVolumes.h"
#include "FileCopier.h"
#include "LzmaSDKObjCItem.h"
#include "LzmaSDKObjCReader.h"
#include "LzmaSDKObjCWriter.h"
#include "ProgressReceiver.h"
#include "TaskPaths.h"
#include "UtilityFunctions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

bool isRealDirectory(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

dev_t deviceOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

bool renamePath(const QString& from, const QString& to, QString* error)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (error)
        *error = systemError(to, errno);
    return false;
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

void removeQuietly(const QString& path)
{
    QString error;
    if (lexists(path) && !FileCopier::removeAll(path, &error))
        qCWarning(lcRuns).noquote() << error;
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

// Removes what an earlier run left beside `path` when it was stopped before it could clean up.
void removeLeftovers(const QString& path)
{
    for (const QString& leftover : TaskPaths::leftoverTemporaries(path))
        removeQuietly(leftover);
}

// Replaces `target` by the finished item at `ready` (a sibling on the same file system):
// the old item is moved aside first and removed only once the new one is in place. The
// removal runs in the background: the new item is complete, and deleting a large tree can
// take as long as copying it.
bool swapInto(const QString& ready, const QString& target, QString* error)
{
    QString aside;
    if (lexists(target)) {
        aside = TaskPaths::siblingTemporary(target, "zorvi-replaced");
        if (!renamePath(target, aside, error))
            return false;
    }
    if (!renamePath(ready, target, error)) {
        if (!aside.isEmpty())
            renamePath(aside, target, nullptr);
        return false;
    }
    if (!aside.isEmpty())
        DispatchQueue::background().async([aside] { removeQuietly(aside); });
    return true;
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

    QStringList sources;
    for (const QString& entry : backupSrc)
        sources << pathPart(entry);
    message = TaskPaths::overlapProblem(sources, pathPart(backupDest), taskFolder());
    if (!message.isEmpty())
        return false;

    if (UtilityFunctions::getFreeSpace(backupDest) < UtilityFunctions::getTotalSize(backupSrc)) {
        message = tr("Not enough space at the selected destination.");
        return false;
    }

    bool result = false;
    switch (function) {
    case 1:
        result = copyBackup(progressWindow, message);
        break;
    case 2:
        result = archiveBackup(false, progressWindow) && !BackupRestoreCancel;
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
        result = archiveBackup(true, progressWindow) && !BackupRestoreCancel;
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
    removeLeftovers(folder);
    // The new copy grows in a hidden folder beside the old one and replaces it only once complete.
    const QString staging = TaskPaths::siblingTemporary(folder, "zorvi-staging");
    if (!QDir().mkpath(staging)) {
        message = systemError(staging, errno ? errno : EACCES);
        return false;
    }
    copiedBytes = 0;
    if (progressWindow)
        startBackupSizeTimer(10);
    const QString stamp = backupStamp();

    auto fail = [&](const QString& text) {
        stopBackupSizeTimer();
        removeQuietly(staging);
        if (!text.isEmpty())
            message = text;
        return false;
    };

    FileCopier copier;
    copier.setCancelFlag(&BackupRestoreCancel);
    copier.setByteCounter(&copiedBytes);
    QStringList copied;
    for (const QString& entry : backupSrc) {
        if (BackupRestoreCancel)
            return fail({});
        const QString source = QDir::cleanPath(pathPart(entry));
        const QString target = staging + source;
        removeWhenCancelList << folder + source;
        QString error;
        if (!makeParent(target, &error))
            return fail(error);
        if (lexists(target) && !FileCopier::removeAll(target, &error))
            return fail(error);
        switch (copier.copy(source, target)) {
        case FileCopier::Result::Ok:
            break;
        case FileCopier::Result::Cancelled:
            return fail({});
        case FileCopier::Result::Failed:
            qCWarning(lcRuns).noquote() << copier.errorString();
            return fail(copier.errorString());
        }
        for (const QString& skipped : copier.skippedSpecialFiles())
            qCInfo(lcRuns).noquote() << "Skipped special file:" << skipped;
        qCInfo(lcRuns) << "Copy complete";
        copied << source;
    }
    if (BackupRestoreCancel)
        return fail({});

    QString error;
    if (!swapInto(staging, folder, &error))
        return fail(error);
    stopBackupSizeTimer();
    fixedSourcePaths = copied;
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

bool TaskInfo::copyRestore(ProgressReceiver* progressWindow, QString& message)
{
    copyProgressDelegate = progressWindow;
    const QString folder = taskFolder();

    // Everything is checked before the first item is touched.
    if (fixedSourcePaths.size() < backupSrc.size()) {
        message = tr("The last backup does not hold every source of this task. Run the backup first.");
        return false;
    }
    QStringList items, places;
    for (int i = 0; i < backupSrc.size(); ++i) {
        const QString item = folder + QDir::cleanPath(fixedSourcePaths.at(i));
        const QString place = QDir::cleanPath(pathPart(backupSrc.at(i)));
        if (!lexists(item)) {
            message = tr("Backup") + " " + item + " " + tr("Path Not Found!");
            return false;
        }
        if (onMissingVolume(place)) {
            message = tr("Device is not exist");
            return false;
        }
        items << item;
        places << place;
        removeLeftovers(place);
    }

    copiedBytes = 0;
    if (progressWindow)
        startRestoreSizeTimer(10);
    FileCopier copier;
    copier.setCancelFlag(&BackupRestoreCancel);
    copier.setByteCounter(&copiedBytes);
    for (int i = 0; i < items.size(); ++i) {
        if (BackupRestoreCancel) {
            stopRestoreSizeTimer();
            return false;
        }
        QString error;
        if (!makeParent(places.at(i), &error)) {
            stopRestoreSizeTimer();
            message = error;
            return false;
        }
        // Each item is copied next to its place and renamed over it only when complete.
        const QString ready = TaskPaths::siblingTemporary(places.at(i), "zorvi-restore");
        const FileCopier::Result copied = copier.copy(items.at(i), ready);
        if (copied != FileCopier::Result::Ok) {
            removeQuietly(ready);
            stopRestoreSizeTimer();
            if (copied == FileCopier::Result::Failed) {
                qCWarning(lcRuns).noquote() << copier.errorString();
                message = copier.errorString();
            }
            return false;
        }
        if (!swapInto(ready, places.at(i), &error)) {
            removeQuietly(ready);
            stopRestoreSizeTimer();
            message = error;
            return false;
        }
        qCInfo(lcRuns) << "Copy complete";
    }
    stopRestoreSizeTimer();
    return true;
}

bool TaskInfo::archiveBackup(bool encrypt, ProgressReceiver* progressWindow)
{
    const QString stamp = backupStamp();
    const QString folder = taskFolder();
    // Written under a temporary name and renamed over the final one by the writer only on success,
    // so a failed or cancelled run keeps the previous archive.
    const QString archivePath = folder + (encrypt ? "/backup.enc" : "/backup.7z");
    if (!QDir().mkpath(folder)) {
        runError_ = systemError(folder, errno ? errno : EACCES);
        return false;
    }
    removeWhenCancelList << archivePath;

    LzmaSDKObjCWriter writer(archivePath);
    for (const QString& entry : backupSrc) {
        const QString path = QDir::cleanPath(pathPart(entry));
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
    lastBackupDate = stamp;
    return true;
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

    // Items go back to the absolute places they were stored under. The tops of the stored
    // trees are the items whose parent folder is not itself an item.
    QSet<QString> names;
    for (const LzmaSDKObjCItem& item : items)
        names.insert(QDir::cleanPath("/" + item.path));
    QStringList roots;
    for (const QString& name : std::as_const(names)) {
        if (!names.contains(QFileInfo(name).path()))
            roots << name;
    }
    roots.sort();
    for (const QString& root : std::as_const(roots)) {
        if (root.split('/', Qt::SkipEmptyParts).contains(".."))
            break; // the reader refuses such archives below
        if (onMissingVolume(root)) {
            message = tr("Device is not exist");
            return false;
        }
    }

    // Extract into a fresh hidden folder first: nothing at the places changes until the archive
    // has been read whole, and a cancel there only removes that folder.
    for (const QString& root : std::as_const(roots))
        removeLeftovers(root);
    const QString firstParent = roots.isEmpty() ? QString() : QFileInfo(roots.first()).path();
    const bool besideFirst = !firstParent.isEmpty() && QFileInfo(firstParent).isDir() && QFileInfo(firstParent).isWritable();
    const QString staging = TaskPaths::siblingTemporary(besideFirst ? roots.first() : taskFolder() + "/extract", "zorvi-extract");
    bool extracted;
    {
        CancelWatch watch(BackupRestoreCancel, [&reader] { reader.cancel(); });
        extracted = reader.extract(items, staging, true);
    }
    if (!extracted || BackupRestoreCancel) {
        removeQuietly(staging);
        if (!BackupRestoreCancel) {
            qCWarning(lcRuns) << "Extract failed";
            message = reader.lastError().isEmpty() ? QStringLiteral("Unknown reason") : reader.lastError();
        }
        return false;
    }

    // The placeholder that let an empty folder into an encrypted archive is not user data:
    // it is dropped before placing, so neither it nor a user's file of that name is touched.
    if (encrypted && roots.size() == 1) {
        const QString folder = staging + roots.first();
        const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const QString placeholder = folder + "/" + kPlaceholderName;
        QFile file(placeholder);
        if (entries == QStringList { kPlaceholderName } && file.open(QIODevice::ReadOnly) && file.readAll() == "temp") {
            file.close();
            if (!QFile::remove(placeholder))
                qCWarning(lcRuns).noquote() << "FAIL:" << systemError(placeholder, errno);
        }
    }

    const bool placed = placeExtracted(staging, roots, message);
    removeQuietly(staging);
    return placed;
}

bool TaskInfo::placeExtracted(const QString& staging, const QStringList& roots, QString& message)
{
    // First pass: refuse a restore that would write through a symbolic link or replace a
    // folder by a file (or the reverse); nothing is touched yet.
    std::function<QString(const QString&, const QString&)> conflict = [&](const QString& from, const QString& to) -> QString {
        if (!lexists(to))
            return {};
        const bool fromDir = isRealDirectory(from);
        if (fromDir != isRealDirectory(to))
            return tr("\"%1\" is in the way of the restore (a link, or a file where a folder belongs).").arg(to);
        if (!fromDir)
            return {};
        const QStringList children = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& child : children) {
            const QString found = conflict(from + "/" + child, to + "/" + child);
            if (!found.isEmpty())
                return found;
        }
        return {};
    };
    for (const QString& root : roots) {
        const QString found = conflict(staging + root, root);
        if (!found.isEmpty()) {
            message = found;
            return false;
        }
    }

    // Second pass: merge into place. Items missing at their places are moved in whole;
    // present files are replaced by a rename; what this run creates is remembered so a cancel
    // can take exactly that back.
    FileCopier copier;
    copier.setCancelFlag(&BackupRestoreCancel);
    QString error;
    QStringList created;
    std::function<bool(const QString&, const QString&)> place = [&](const QString& from, const QString& to) -> bool {
        if (BackupRestoreCancel)
            return false;
        const bool existed = lexists(to);
        if (existed && isRealDirectory(from)) {
            const QStringList children = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString& child : children) {
                if (!place(from + "/" + child, to + "/" + child))
                    return false;
            }
            return true;
        }
        QString ready = from;
        if (deviceOf(from) != deviceOf(QFileInfo(to).path())) {
            ready = TaskPaths::siblingTemporary(to, "zorvi-restore");
            if (copier.copy(from, ready) != FileCopier::Result::Ok) {
                error = copier.errorString();
                removeQuietly(ready);
                return false;
            }
        }
        if (!renamePath(ready, to, &error)) {
            if (ready != from)
                removeQuietly(ready);
            return false;
        }
        if (!existed)
            created << to;
        return true;
    };
    for (const QString& root : roots) {
        if (!makeParent(root, &error) || !place(staging + root, root)) {
            if (BackupRestoreCancel) {
                for (auto it = created.crbegin(); it != created.crend(); ++it)
                    removeQuietly(*it);
            } else {
                message = error.isEmpty() ? QStringLiteral("Unknown reason") : error;
            }
            return false;
        }
    }
    return true;
}
