#include "RestorePlacement.h"

#include "DiskSync.h"
#include "PendingRemovals.h"
#include "FailPoint.h"
#include "FileCopier.h"
#include "RenameFlags.h"
#include "SevenZipListing.h"
#include "TaskPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPlacement, "zorvi.engine.restore")

namespace {

QString tr(const char* text) { return QCoreApplication::translate("TaskInfo", text); }


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
        *error = TaskPaths::systemError(to, errno);
    return false;
}

void removeQuietly(const QString& path)
{
    QString error;
    if (TaskPaths::exists(path) && !FileCopier::removeAll(path, &error))
        qCWarning(lcPlacement).noquote() << error;
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
QString treeConflict(const QString& from, const QString& to)
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

// What the walk of one merge shares, and the journal that lets a cancel or a failure put
// the places back as they were: replaced files are exchanged back, items moved in whole go
// back into the work folder.
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
        if (!interrupted_)
            error_ = error;
        interrupted_ = true;
    }
    // `to` was moved in whole from `from`.
    void created(const QByteArray& from, const QByteArray& to) { journal_.push_back({from, to, false}); }
    // The new item at `from` and the user's at `to` traded places.
    void exchanged(const QByteArray& from, const QByteArray& to) { journal_.push_back({from, to, true}); }
    QString error() const { return error_; }

    // Newest first, so a folder moved in whole goes back after what was exchanged below it.
    void undo()
    {
        for (auto it = journal_.crbegin(); it != journal_.crend(); ++it) {
            const bool back = it->exchange
                ? ::renameat2(AT_FDCWD, it->from.constData(), AT_FDCWD, it->to.constData(), RENAME_EXCHANGE) == 0
                : ::renameat2(AT_FDCWD, it->to.constData(), AT_FDCWD, it->from.constData(), RENAME_NOREPLACE) == 0;
            if (!back) {
                const QString path = QFile::decodeName(it->to);
                qCWarning(lcPlacement).noquote() << "cannot put back" << TaskPaths::systemError(path, errno);
                if (!it->exchange)
                    removeQuietly(path);
            }
        }
        journal_.clear();
    }

    std::atomic<bool> exchanges { true };   // until the file system says it has none

private:
    struct Step {
        QByteArray from;
        QByteArray to;
        bool exchange;
    };
    const std::atomic<bool>& cancel_;
    std::atomic<bool> interrupted_ { false };
    std::vector<Step> journal_;
    QString error_;
};

QByteArray childOf(const QByteArray& folder, const std::string& name) { return folder + '/' + QByteArray::fromStdString(name); }
QString shownChild(const QByteArray& folder, const std::string& name) { return QFile::decodeName(childOf(folder, name)); }

// Moves what the folder `from` holds into the folder `to` (both taken over). A replaced file
// ends up in `from`. One thread is enough: renames across folders take a lock of the whole
// file system.
void mergeBelow(Merge& merge, int from, int to, const QByteArray& fromPath, const QByteArray& toPath)
{
    DIR* dir = ::fdopendir(from);
    if (!dir) {
        merge.fail(TaskPaths::systemError(QFile::decodeName(toPath), errno));
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
                merge.fail(TaskPaths::systemError(shownChild(toPath, name), errno));
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
        // folder, and can be undone if the run stops before it is through.
        if (existed && !folder && !S_ISDIR(there.st_mode) && merge.exchanges
            && ::renameat2(::dirfd(dir), name.c_str(), to, name.c_str(), RENAME_EXCHANGE) == 0) {
            // A folder put there since the first pass goes back: it is not ours to delete.
            struct stat taken {};
            if (::fstatat(::dirfd(dir), name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(taken.st_mode)) {
                ::renameat2(::dirfd(dir), name.c_str(), to, name.c_str(), RENAME_EXCHANGE);
                merge.fail(TaskPaths::systemError(shownChild(toPath, name), EISDIR));
                break;
            }
            merge.exchanged(childOf(fromPath, name), childOf(toPath, name));
            FailPoint::hit("restore-item-replaced");
            continue;
        }
        if (existed && !folder && RenameFlags::unsupported(errno))
            merge.exchanges = false;
        if (::renameat(::dirfd(dir), name.c_str(), to, name.c_str()) != 0) {
            merge.fail(TaskPaths::systemError(shownChild(toPath, name), errno));
            break;
        }
        if (!existed)
            merge.created(childOf(fromPath, name), childOf(toPath, name));
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
    const QByteArray fromPath = QFile::encodeName(from);
    const QByteArray toPath = QFile::encodeName(to);
    const bool existed = TaskPaths::exists(to);
    if (existed && TaskPaths::isRealDirectory(from) && TaskPaths::isRealDirectory(to)) {
        const int subFrom = ::open(fromPath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int subTo = ::open(toPath.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (subFrom < 0 || subTo < 0) {
            merge.fail(TaskPaths::systemError(subFrom < 0 ? from : to, errno));
            if (subFrom >= 0)
                ::close(subFrom);
            if (subTo >= 0)
                ::close(subTo);
            return;
        }
        mergeBelow(merge, subFrom, subTo, fromPath, toPath);
        return;
    }
    if (existed && merge.exchanges
        && ::renameat2(AT_FDCWD, fromPath.constData(), AT_FDCWD, toPath.constData(), RENAME_EXCHANGE) == 0) {
        merge.exchanged(fromPath, toPath);
        return;
    }
    QString error;
    if (!renamePath(from, to, &error))
        merge.fail(error);
    else if (!existed)
        merge.created(fromPath, toPath);
}

// The deepest folder of `path` that exists, for saying where a folder could not be made.
QString existingAncestor(const QString& path)
{
    QString folder = QDir::cleanPath(path);
    while (!TaskPaths::exists(folder) && folder != QLatin1String("/"))
        folder = QFileInfo(folder).path();
    return folder;
}

} // namespace

RestorePlacement::RestorePlacement(const std::atomic<bool>& cancel, QString task)
    : m_cancel(cancel)
    , m_task(std::move(task))
{
}

RestorePlacement::~RestorePlacement() { removeWorkFolders(); }

void RestorePlacement::leaveOut(const QString& place, const QString& folder, int err)
{
    QString sentence;
    if (err == EACCES || err == EPERM)
        sentence = tr("\"%1\" was not restored: you may not write in the folder \"%2\".").arg(place, folder);
    else if (err == EROFS)
        sentence = tr("\"%1\" was not restored: the folder \"%2\" is on a disk that cannot be written.").arg(place, folder);
    else
        sentence = tr("\"%1\" was not restored: %2").arg(place, TaskPaths::systemError(folder, err));
    qCWarning(lcPlacement).noquote() << sentence;
    m_notRestored << sentence;
}

void RestorePlacement::prepare(const QList<Tree>& trees)
{
    for (const Tree& tree : trees) {
        Prepared prepared{tree.place, std::nullopt};
        QString error;
        int err = 0;
        if (tree.isFolder && TaskPaths::isRealDirectory(tree.place)) {
            prepared.work = WorkFolder::createInside(tree.place, &error, &err);
            if (!prepared.work)
                leaveOut(tree.place, tree.place, err);
        } else {
            const QString parent = QFileInfo(tree.place).path();
            if (!TaskPaths::isRealDirectory(parent) && !QDir().mkpath(parent)) {
                const int mkpathErr = errno ? errno : EACCES;
                leaveOut(tree.place, existingAncestor(parent), mkpathErr);
            } else {
                prepared.work = WorkFolder::create(tree.place, &error, &err);
                if (!prepared.work)
                    leaveOut(tree.place, parent, err);
            }
        }
        m_preparedAny = m_preparedAny || prepared.work.has_value();
        m_trees << std::move(prepared);
    }
}

bool RestorePlacement::isPrepared(qsizetype tree) const { return m_trees.at(tree).work.has_value(); }
QString RestorePlacement::workFolder(qsizetype tree) const { return m_trees.at(tree).work->path(); }
QString RestorePlacement::staging(qsizetype tree) const { return m_trees.at(tree).work->newItem(); }

void RestorePlacement::setFolderAttributes(qsizetype tree, const QByteArray& relative, mode_t mode,
                                           std::optional<struct timespec> modified)
{
    m_folders.push_back(FolderAttributes{tree, relative, mode, modified});
}

bool RestorePlacement::place(QString* error)
{
    // What moves into place must be on disk before the renames make it the user's only copy:
    // a restore reported done, then lost to a power cut, would leave empty files that the
    // next backup takes for the user's.
    QSet<dev_t> flushed;
    for (const Prepared& tree : std::as_const(m_trees)) {
        if (!tree.work)
            continue;
        const dev_t device = deviceOf(tree.work->path());
        if (!flushed.contains(device) && !DiskSync::syncFileSystem(tree.work->path(), error))
            return false;
        flushed.insert(device);
    }

    // Items missing at their places are moved in whole; present files are exchanged with
    // the new ones. A cancel or a failure on the way puts every place back as it was: a
    // restore that stops half way must not leave a mix, nor drop the user's newer files.
    Merge merge(m_cancel);
    for (const Prepared& tree : std::as_const(m_trees)) {
        if (tree.work && TaskPaths::exists(tree.work->newItem()))
            mergeAt(merge, tree.work->newItem(), tree.place);
    }
    if (merge.interrupted()) {
        merge.undo();
        if (!m_cancel && error)
            *error = merge.error().isEmpty() ? QStringLiteral("Unknown reason") : merge.error();
        return false;
    }
    applyFolderAttributes();

    // The renames, deep in merged folders too, reach the disk before the run says done.
    flushed.clear();
    for (const Prepared& tree : std::as_const(m_trees)) {
        const QString parent = QFileInfo(tree.place).path();
        if (tree.work && !flushed.contains(deviceOf(parent)))
            DiskSync::syncFileSystem(parent, nullptr);
        flushed.insert(deviceOf(parent));
    }
    return true;
}

void RestorePlacement::applyFolderAttributes() const
{
    std::vector<const FolderAttributes*> order;
    order.reserve(m_folders.size());
    for (const FolderAttributes& folder : m_folders)
        order.push_back(&folder);
    // Deepest first: a folder's own mode (0500, say) and time are set once its contents are in.
    std::stable_sort(order.begin(), order.end(), [](const FolderAttributes* a, const FolderAttributes* b) {
        return a->relative.count('/') + !a->relative.isEmpty() > b->relative.count('/') + !b->relative.isEmpty();
    });
    for (const FolderAttributes* folder : order) {
        const Prepared& tree = m_trees.at(folder->tree);
        if (!tree.work)
            continue;
        const QByteArray path = QFile::encodeName(tree.place)
            + (folder->relative.isEmpty() ? QByteArray() : '/' + folder->relative);
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            qCWarning(lcPlacement).noquote() << TaskPaths::systemError(QFile::decodeName(path), errno);
            continue;
        }
        if (folder->mode && ::fchmod(fd, folder->mode & 07777) != 0)
            qCWarning(lcPlacement).noquote() << TaskPaths::systemError(QFile::decodeName(path), errno);
        if (folder->modified) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, *folder->modified};
            if (::futimens(fd, times) != 0)
                qCWarning(lcPlacement).noquote() << TaskPaths::systemError(QFile::decodeName(path), errno);
        }
        ::close(fd);
    }
}

void RestorePlacement::removeWorkFolders()
{
    struct Removal {
        WorkFolder work;
        QByteArray place;                        // a folder the work folder was inside
        std::optional<struct timespec> modified; // its restored time, which the removal moves
    };
    QList<Removal> removals;
    for (qsizetype i = 0; i < m_trees.size(); ++i) {
        Prepared& tree = m_trees[i];
        if (!tree.work)
            continue;
        Removal removal{*std::exchange(tree.work, std::nullopt), {}, std::nullopt};
        if (QFileInfo(removal.work.path()).path() == QDir::cleanPath(tree.place)) {
            removal.place = QFile::encodeName(tree.place);
            for (const FolderAttributes& folder : m_folders) {
                if (folder.tree == i && folder.relative.isEmpty())
                    removal.modified = folder.modified;
            }
        }
        removals << removal;
    }
    if (removals.isEmpty())
        return;
    PendingRemovals::hand(m_task, [removals] {
        FailPoint::hit("work-folders-removing");
        for (const Removal& removal : removals) {
            QString error;
            if (!removal.work.remove(&error))
                qCWarning(lcPlacement).noquote() << error;
            if (removal.modified) {
                const struct timespec times[2] = {{0, UTIME_OMIT}, *removal.modified};
                ::utimensat(AT_FDCWD, removal.place.constData(), times, AT_SYMLINK_NOFOLLOW);
            }
        }
    });
}

QString RestorePlacement::conflictAt(const QString& from, const QString& to) { return treeConflict(from, to); }

QString RestorePlacement::conflictWithItems(const QString& place, const QList<std::pair<QStringList, bool>>& items)
{
    QSet<QString> folders;   // found to be real folders
    QSet<QString> missing;   // nothing below these exists
    for (const auto& [parts, isFolder] : items) {
        QString current = place;
        for (qsizetype i = 0; i <= parts.size(); ++i) {
            if (i > 0)
                current += QLatin1Char('/') + parts.at(i - 1);
            const bool leaf = i == parts.size();
            if (missing.contains(current))
                break;
            if (!leaf && folders.contains(current))
                continue;
            struct stat st;
            if (::lstat(SevenZipListing::encodeName(current).constData(), &st) != 0) {
                missing.insert(current);
                break;
            }
            // On the way to an item only real folders; at its place the same kind of thing.
            if (!leaf && !S_ISDIR(st.st_mode))
                return current;
            if (leaf && S_ISDIR(st.st_mode) != isFolder)
                return current;
            if (S_ISDIR(st.st_mode))
                folders.insert(current);
        }
    }
    return {};
}
