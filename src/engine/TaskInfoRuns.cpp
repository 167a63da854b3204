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

// A folder's entries, read whole before anything in it is renamed away.
std::vector<std::pair<std::string, bool>> folderEntries(DIR* dir)
{
    std::vector<std::pair<std::string, bool>> entries;   // name, is a folder
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        bool folder = e->d_type == DT_DIR;
        struct stat st;
        if (e->d_type == DT_UNKNOWN && ::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            folder = S_ISDIR(st.st_mode);
        entries.emplace_back(name, folder);
    }
    return entries;
}

QString childOf(const QString& folder, const std::string& name)
{
    return folder + QLatin1Char('/') + QFile::decodeName(QByteArray::fromStdString(name));
}

// Below two folders that both exist (`from` is taken over): the first place where a folder
// of the tree meets anything but a folder, or the reverse.
QString conflictBelow(int from, int to, const QString& toPath)
{
    DIR* dir = ::fdopendir(from);
    if (!dir) {
        ::close(from);
        return {};
    }
    QString found;
    for (const auto& [name, folder] : folderEntries(dir)) {
        struct stat there;
        if (::fstatat(to, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (folder != S_ISDIR(there.st_mode)) {
            found = childOf(toPath, name);
            break;
        }
        if (!folder)
            continue;
        const int subFrom = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int subTo = ::openat(to, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (subFrom >= 0 && subTo >= 0)
            found = conflictBelow(subFrom, subTo, childOf(toPath, name));
        else if (subFrom >= 0)
            ::close(subFrom);
        if (subTo >= 0)
            ::close(subTo);
        if (!found.isEmpty())
            break;
    }
    ::closedir(dir);
    return found;
}

// Where the tree at `from` cannot be merged into `to` without writing through a symbolic
// link or putting a folder where a file is (or the reverse); empty when it can.
QString conflictAt(const QString& from, const QString& to)
{
    struct stat there, here;
    if (::lstat(QFile::encodeName(to).constData(), &there) != 0 || ::lstat(QFile::encodeName(from).constData(), &here) != 0)
        return {};
    if (S_ISDIR(here.st_mode) != S_ISDIR(there.st_mode))
        return to;
    if (!S_ISDIR(here.st_mode))
        return {};
    const int subFrom = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int subTo = ::open(QFile::encodeName(to).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    QString found;
    if (subFrom >= 0 && subTo >= 0)
        found = conflictBelow(subFrom, subTo, to);
    else if (subFrom >= 0)
        ::close(subFrom);
    if (subTo >= 0)
        ::close(subTo);
    return found;
}

constexpr off_t kFreeAsideFrom = 16 << 20;

// What the threads of one merge share.
class Merge {
public:
    explicit Merge(const std::atomic<bool>& cancel) : cancel_(cancel) {}

    // True (and remembered) once a cancel or a failure stops the walk.
    bool stop()
    {
        if (cancel_)
            interrupted_ = true;
        return interrupted_;
    }
    bool interrupted() const { return interrupted_; }
    void fail(const QString& error)
    {
        std::lock_guard lock(mutex_);
        if (!interrupted_)
            error_ = error;
        interrupted_ = true;
    }
    void created(const QString& path)
    {
        std::lock_guard lock(mutex_);
        created_ << path;
    }
    // Frees a replaced large file on another thread: dropping its cached pages takes as long
    // as writing many small files.
    void free(QByteArray path)
    {
        std::lock_guard lock(mutex_);
        if (unlinks_.size() >= 4) {
            unlinks_.front().wait();
            unlinks_.erase(unlinks_.begin());
        }
        unlinks_.push_back(std::async(std::launch::async, [path = std::move(path)] { ::unlink(path.constData()); }));
    }
    void finish() { unlinks_.clear(); }   // each waits for its thread
    QStringList createdItems() const { return created_; }
    QString error() const { return error_; }

    std::atomic<bool> exchanges { true };   // until the file system says it has none

private:
    const std::atomic<bool>& cancel_;
    std::atomic<bool> interrupted_ { false };
    std::mutex mutex_;
    QStringList created_;
    QString error_;
    std::vector<std::future<void>> unlinks_;
};

// Moves what the folder `from` holds into the folder `to` (both taken over). A replaced file
// ends up in `from`. One thread is enough: renames across folders take a lock of the whole
// file system.
void mergeBelow(Merge& merge, int from, int to, const QString& fromPath, const QString& toPath)
{
    DIR* dir = ::fdopendir(from);
    if (!dir) {
        merge.fail(systemError(toPath, errno));
        ::close(from);
        ::close(to);
        return;
    }
    for (const auto& [name, folder] : folderEntries(dir)) {
        if (merge.stop())
            break;
        struct stat there;
        const bool existed = ::fstatat(to, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
        if (existed && folder && S_ISDIR(there.st_mode)) {
            const int subFrom = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const int subTo = ::openat(to, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (subFrom < 0 || subTo < 0) {
                merge.fail(systemError(childOf(toPath, name), errno));
                if (subFrom >= 0)
                    ::close(subFrom);
                if (subTo >= 0)
                    ::close(subTo);
                break;
            }
            mergeBelow(merge, subFrom, subTo, childOf(fromPath, name), childOf(toPath, name));
            continue;
        }
        // An exchange leaves the replaced file where the new one was, to go with the work
        // folder: a rename over it would free it here, and ext4 would write the new one out
        // first.
        if (existed && !folder && !S_ISDIR(there.st_mode) && merge.exchanges
            && ::renameat2(::dirfd(dir), name.c_str(), to, name.c_str(), RENAME_EXCHANGE) == 0) {
            // A folder put there since the first pass goes back: it is not ours to delete.
            struct stat taken {};
            if (::fstatat(::dirfd(dir), name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(taken.st_mode)) {
                ::renameat2(::dirfd(dir), name.c_str(), to, name.c_str(), RENAME_EXCHANGE);
                merge.fail(systemError(childOf(toPath, name), EISDIR));
                break;
            }
            if (S_ISREG(taken.st_mode) && taken.st_size >= kFreeAsideFrom)
                merge.free(QFile::encodeName(childOf(fromPath, name)));
            continue;
        }
        if (existed && !folder && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
            merge.exchanges = false;
        if (::renameat(::dirfd(dir), name.c_str(), to, name.c_str()) != 0) {
            merge.fail(systemError(childOf(toPath, name), errno));
            break;
        }
        if (!existed)
            merge.created(childOf(toPath, name));
    }
    ::closedir(dir);
    ::close(to);
}

// Puts the tree at `from` at `to`: whole when nothing is there, else merged into the folder
// there, what the tree holds replacing what is there and anything else kept.
void mergeAt(Merge& merge, const QString& from, const QString& to)
{
    if (merge.stop())
        return;
    const bool existed = lexists(to);
    if (existed && isRealDirectory(from) && isRealDirectory(to)) {
        const int subFrom = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int subTo = ::open(QFile::encodeName(to).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (subFrom < 0 || subTo < 0) {
            merge.fail(systemError(subFrom < 0 ? from : to, errno));
            if (subFrom >= 0)
                ::close(subFrom);
            if (subTo >= 0)
                ::close(subTo);
            return;
        }
        mergeBelow(merge, subFrom, subTo, from, to);
        return;
    }
    QString error;
    if (!renamePath(from, to, &error))
        merge.fail(error);
    else if (!existed)
        merge.created(to);
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
    std::optional<WorkFolder> work = WorkFolder::create(folder, &error);
    if (!work || ::mkdir(QFile::encodeName(work->newItem()).constData(), 0777) != 0) {
        message = work ? systemError(work->newItem(), errno) : error;
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

bool TaskInfo::copyRestore(ProgressReceiver* progressWindow, QString& message)
{
    copyProgressDelegate = progressWindow;
    const QString folder = taskFolder();

    // Everything is checked before the first item is touched.
    if (fixedSourcePaths.size() < backupSrc.size()) {
        message = tr("The last backup does not hold every source of this task. Run the backup first.");
        return false;
    }
    QStringList roots, places;
    for (int i = 0; i < backupSrc.size(); ++i) {
        const QString root = QDir::cleanPath(fixedSourcePaths.at(i));
        const QString item = folder + root;
        const QString place = restorePlace(QDir::cleanPath(pathPart(backupSrc.at(i))), isLink(item));
        if (!lexists(item)) {
            message = tr("Backup") + " " + item + " " + tr("Path Not Found!");
            return false;
        }
        if (onMissingVolume(place)) {
            message = tr("Device is not exist");
            return false;
        }
        // A source inside another comes back with it.
        if (roots.contains(root) || std::any_of(roots.begin(), roots.end(), [&root](const QString& r) {
                return TaskPaths::isInsideOrEqual(root, r);
            }))
            continue;
        roots << root;
        places << place;
        recoverAndClean(place);
    }

    copiedBytes = 0;
    if (progressWindow)
        startRestoreSizeTimer(10);
    // Like an archive restore: what the backup holds replaces what is at the places, and files
    // made there since the backup stay.
    const bool placed = placeExtracted(folder, roots, places, true, message);
    stopRestoreSizeTimer();
    if (placed)
        qCInfo(lcRuns) << "Copy complete";
    return placed;
}

bool TaskInfo::hasCompleteBackup() const
{
    const QString folder = taskFolder();
    switch (function) {
    case 1:
        if (fixedSourcePaths.size() < backupSrc.size() || !isRealDirectory(folder))
            return false;
        return std::all_of(fixedSourcePaths.begin(), fixedSourcePaths.end(),
                           [&folder](const QString& path) { return lexists(folder + QDir::cleanPath(path)); });
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
        runError_ = systemError(folder, errno ? errno : EACCES);
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

    // Extract into a work folder first: nothing at the places changes until the archive has
    // been read whole, and a cancel there only removes that folder.
    QStringList places;
    for (const QString& root : std::as_const(roots)) {
        const bool storedAsLink = std::any_of(items.begin(), items.end(), [&root](const LzmaSDKObjCItem& item) {
            return item.isSymlink && QDir::cleanPath("/" + item.path) == root;
        });
        places << restorePlace(root, storedAsLink);
        recoverAndClean(places.last());
    }
    const QString firstParent = places.isEmpty() ? QString() : QFileInfo(places.first()).path();
    const bool besideFirst = !firstParent.isEmpty() && QFileInfo(firstParent).isDir() && QFileInfo(firstParent).isWritable();
    std::optional<WorkFolder> work = WorkFolder::create(besideFirst ? places.first() : taskFolder() + "/backup.7z", &error);
    if (!work) {
        message = error;
        return false;
    }
    const QString staging = work->entry("x");
    bool extracted;
    {
        CancelWatch watch(BackupRestoreCancel, [&reader] { reader.cancel(); });
        extracted = reader.extract(items, staging, true);
    }
    if (!extracted || BackupRestoreCancel) {
        work->remove();
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

    const bool placed = placeExtracted(staging, roots, places, false, message);
    // The work folder, with the replaced files in it, goes while the modes are set.
    std::future<bool> removed = std::async(std::launch::async, [&work] { return work->remove(); });
    if (placed)
        applyStoredModes(items, roots, places);
    removed.wait();
    return placed;
}

void TaskInfo::applyStoredModes(const QList<LzmaSDKObjCItem>& items, const QStringList& roots, const QStringList& places)
{
    // Files in any order, on a few threads; then folders deepest first, so a folder's own mode
    // (0500, say) is set once its contents are in place.
    std::vector<std::pair<QByteArray, mode_t>> files;
    QList<std::pair<QString, quint32>> folders;
    for (const LzmaSDKObjCItem& item : items) {
        if (item.unixMode == 0 || S_ISLNK(item.unixMode))
            continue;
        const QString name = QDir::cleanPath("/" + item.path);
        for (qsizetype i = 0; i < roots.size(); ++i) {
            if (TaskPaths::isInsideOrEqual(name, roots.at(i))) {
                const QString path = places.at(i) + name.mid(roots.at(i).size());
                if (item.isDirectory || S_ISDIR(item.unixMode))
                    folders.append({ path, item.unixMode });
                else
                    files.emplace_back(QFile::encodeName(path), mode_t(item.unixMode & 07777));
                break;
            }
        }
    }
    auto setMode = [](const QByteArray& path, mode_t mode) {
        if (!isLink(QFile::decodeName(path)) && ::chmod(path.constData(), mode) != 0)
            qCWarning(lcRuns).noquote() << systemError(QFile::decodeName(path), errno);
    };
    {
        constexpr size_t kThreads = 4;
        std::vector<std::jthread> threads;
        for (size_t t = 0; t < kThreads && t < files.size(); ++t) {
            threads.emplace_back([&files, &setMode, t] {
                for (size_t k = t; k < files.size(); k += kThreads)
                    setMode(files[k].first, files[k].second);
            });
        }
    }
    std::sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) { return a.first.count('/') > b.first.count('/'); });
    for (const auto& [path, mode] : std::as_const(folders))
        setMode(QFile::encodeName(path), mode & 07777);
}

bool TaskInfo::placeExtracted(const QString& staging, const QStringList& roots, const QStringList& places, bool copyFirst,
                              QString& message)
{
    // First pass: refuse a restore that would write through a symbolic link or replace a
    // folder by a file (or the reverse); nothing is touched yet.
    for (qsizetype i = 0; i < roots.size(); ++i) {
        const QString found = conflictAt(staging + roots.at(i), places.at(i));
        if (!found.isEmpty()) {
            message = tr("\"%1\" is in the way of the restore (a link, or a file where a folder belongs).").arg(found);
            return false;
        }
    }

    // A root to be copied, or on another file system than the extraction, is first copied
    // whole into a work folder beside its place, so every step below is a rename on one file
    // system.
    QList<WorkFolder> beside;
    auto dropBeside = [&beside] {
        for (const WorkFolder& work : std::as_const(beside))
            work.remove();
    };
    QStringList sources;
    FileCopier copier;
    copier.setCancelFlag(&BackupRestoreCancel);
    copier.setByteCounter(&copiedBytes);
    QString error;
    for (qsizetype i = 0; i < roots.size(); ++i) {
        const QString from = staging + roots.at(i);
        if (!makeParent(places.at(i), &error)) {
            dropBeside();
            message = error;
            return false;
        }
        if (!copyFirst && deviceOf(from) == deviceOf(QFileInfo(places.at(i)).path())) {
            sources << from;
            continue;
        }
        std::optional<WorkFolder> work = WorkFolder::create(places.at(i), &error);
        const auto copied = [&] {
            const BackgroundFlush flusher(work->path());
            return copier.copy(from, work->newItem());
        };
        if (!work || copied() != FileCopier::Result::Ok) {
            if (work)
                work->remove();
            dropBeside();
            if (!BackupRestoreCancel)
                message = work ? copier.errorString() : error;
            return false;
        }
        logCopierNotes(copier);
        beside << *work;
        sources << work->newItem();
    }

    // What moves into place must be on disk before the swaps make it the user's only copy:
    // a restore reported done, then lost to a power cut, would leave empty files that the
    // next backup takes for the user's.
    QSet<dev_t> flushed;
    for (const QString& from : std::as_const(sources)) {
        if (!flushed.contains(deviceOf(from)) && !DiskSync::syncFileSystem(from, &error)) {
            dropBeside();
            message = error;
            return false;
        }
        flushed.insert(deviceOf(from));
    }

    // Second pass: merge into place. Items missing at their places are moved in whole;
    // present files are replaced by a rename; what this run creates is remembered so a cancel
    // can take exactly that back.
    Merge merge(BackupRestoreCancel);
    for (qsizetype i = 0; i < roots.size(); ++i)
        mergeAt(merge, sources.at(i), places.at(i));
    merge.finish();
    if (merge.interrupted()) {
        if (BackupRestoreCancel) {
            // Each was moved in whole, so the order does not matter.
            const QStringList created = merge.createdItems();
            for (auto it = created.crbegin(); it != created.crend(); ++it)
                removeQuietly(*it);
        } else {
            message = merge.error().isEmpty() ? QStringLiteral("Unknown reason") : merge.error();
        }
        dropBeside();
        return false;
    }
    // The swaps, deep in merged folders too, reach the disk before the replaced items go
    // and before the run says done.
    flushed.clear();
    for (const QString& placed : std::as_const(places)) {
        const QString parent = QFileInfo(placed).path();
        if (!flushed.contains(deviceOf(parent)))
            DiskSync::syncFileSystem(parent, nullptr);
        flushed.insert(deviceOf(parent));
    }
    dropBeside();
    return true;
}
