#include "WorkFolder.h"

#include "DiskSync.h"
#include "FailPoint.h"
#include "FileCopier.h"
#include "RenameFlags.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <ctime>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kMarkerName = "zorvi-work";
const QByteArray kMarkerTitle = "Zorvi work folder";
constexpr time_t kUnmarkedAfterSeconds = 5 * 60;
const QString kCompleteName = QStringLiteral("complete");
// The marker's name line for a folder made inside the item it serves; no item is named so.
const QByteArray kInsideName = ".";

std::atomic<bool> g_exchangeDisabled { false };

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

QString systemError(const QString& path, int err)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
}

bool lstatPath(const QString& path, struct stat* st) { return ::lstat(encoded(path).constData(), st) == 0; }

bool exists(const QString& path)
{
    struct stat st;
    return lstatPath(path, &st);
}

int renameWithFlags(const QString& from, const QString& to, unsigned flags)
{
    return ::renameat2(AT_FDCWD, encoded(from).constData(), AT_FDCWD, encoded(to).constData(), flags) == 0 ? 0 : errno;
}


QString parentOf(const QString& item) { return QFileInfo(QDir::cleanPath(item)).absolutePath(); }
QString nameOf(const QString& item) { return QFileInfo(QDir::cleanPath(item)).fileName(); }

QByteArray markerText(const QByteArray& itemName) { return kMarkerTitle + '\n' + itemName + '\n'; }

// ".zorvi-" and the six letters or digits mkdtemp puts in.
bool namedLikeOurs(QByteArrayView name)
{
    if (name.size() != 13 || !name.startsWith(".zorvi-"))
        return false;
    return std::all_of(name.begin() + 7, name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// Folders named like ours in `parent`.
QStringList ourNames(const QString& parent)
{
    QStringList names;
    const QStringList all = QDir(parent).entryList(QStringList{QStringLiteral(".zorvi-*")},
                                                   QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : all) {
        if (namedLikeOurs(name.toLatin1()))
            names << name;
    }
    return names;
}

} // namespace

void WorkFolder::setExchangeDisabled(bool disabled) { g_exchangeDisabled.store(disabled); }

QString WorkFolder::newItem() const { return entry(QStringLiteral("new")); }
QString WorkFolder::oldItem() const { return entry(QStringLiteral("old")); }
QString WorkFolder::entry(const QString& name) const { return m_path + QLatin1Char('/') + name; }

std::optional<WorkFolder> WorkFolder::create(const QString& item, QString* error, int* errorNumber)
{
    return make(parentOf(item), QDir::cleanPath(item), encoded(nameOf(item)), error, errorNumber);
}

std::optional<WorkFolder> WorkFolder::createInside(const QString& folder, QString* error, int* errorNumber)
{
    return make(QDir::cleanPath(folder), QDir::cleanPath(folder), kInsideName, error, errorNumber);
}

std::optional<WorkFolder> WorkFolder::make(const QString& parent, const QString& item, const QByteArray& markerName,
                                           QString* error, int* errorNumber)
{
    auto fail = [&](const QString& path, int err) {
        if (error)
            *error = systemError(path, err);
        if (errorNumber)
            *errorNumber = err;
        return std::nullopt;
    };
    QByteArray pattern = encoded(parent + QStringLiteral("/.zorvi-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        return fail(parent, errno);
    WorkFolder folder(QFile::decodeName(pattern), item);
    // The marker reaches the disk before anything else goes in: after a crash the folder is
    // either empty or marked, never a nameless partial copy nobody removes.
    const QByteArray marker = encoded(folder.entry(QString::fromLatin1(kMarkerName)));
    const int fd = ::open(marker.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const QByteArray text = markerText(markerName);
    const bool written = fd >= 0 && ::write(fd, text.constData(), size_t(text.size())) == text.size()
        && (::fsync(fd) == 0 || errno == EINVAL);
    const int err = errno;
    if (fd >= 0)
        ::close(fd);
    if (!written) {
        folder.remove();
        return fail(folder.path(), err);
    }
    DiskSync::syncDirectory(folder.path());
    return folder;
}

QList<WorkFolder> WorkFolder::findFor(const QString& item)
{
    const QString cleaned = QDir::cleanPath(item);
    QList<WorkFolder> found = findIn(parentOf(cleaned), cleaned, encoded(nameOf(cleaned)));
    struct stat st;
    if (lstatPath(cleaned, &st) && S_ISDIR(st.st_mode))
        found += findIn(cleaned, cleaned, kInsideName);
    return found;
}

bool WorkFolder::isWorkFolderAt(int parent, const char* name)
{
    struct stat st;
    if (!namedLikeOurs(QByteArrayView(name)) || ::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const QByteArray marker = QByteArray(name) + '/' + kMarkerName;
    // Non-blocking: in a user's folder named like ours, a FIFO by the marker's name must not hang the walk.
    const int fd = ::openat(parent, marker.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const QByteArray head = kMarkerTitle + '\n';
    QByteArray text(head.size(), '\0');
    const bool ours = ::read(fd, text.data(), size_t(text.size())) == text.size() && text == head;
    ::close(fd);
    return ours;
}

QList<WorkFolder> WorkFolder::findIn(const QString& parent, const QString& item, const QByteArray& markerName)
{
    const QByteArray expected = markerText(markerName);
    QList<WorkFolder> found;
    for (const QString& name : ourNames(parent)) {
        const QString path = parent + QLatin1Char('/') + name;
        struct stat st;
        if (!lstatPath(path, &st) || !S_ISDIR(st.st_mode))
            continue;
        QFile marker(path + QLatin1Char('/') + QString::fromLatin1(kMarkerName));
        if (!marker.open(QIODevice::ReadOnly) || marker.read(expected.size() + 1) != expected)
            continue;
        found.append(WorkFolder(path, item));
    }
    return found;
}

void WorkFolder::removeUnmarked(const QString& parent, QStringList* notes)
{
    for (const QString& name : ourNames(parent)) {
        const QString path = parent + QLatin1Char('/') + name;
        struct stat st;
        if (!lstatPath(path, &st) || !S_ISDIR(st.st_mode))
            continue;
        // Another run's folder is like this for the moment between its making and its marker:
        // only what has stayed so for a while is a crash's.
        if (std::time(nullptr) - st.st_mtim.tv_sec < kUnmarkedAfterSeconds)
            continue;
        const QStringList entries = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        bool unmarked = entries.isEmpty();
        if (entries == QStringList{QString::fromLatin1(kMarkerName)}) {
            // A marker cut short by the crash: what follows it was never written.
            QFile marker(path + QLatin1Char('/') + entries.first());
            const QByteArray text = marker.open(QIODevice::ReadOnly) ? marker.read(4096) : QByteArray("?");
            const QByteArray head = kMarkerTitle + '\n';
            unmarked = head.startsWith(text) || (text.startsWith(head) && !text.endsWith('\n'));
        }
        if (!unmarked)
            continue;
        QString error;
        if (!FileCopier::removeAll(path, &error))
            notes->append(error);
    }
}

bool WorkFolder::isComplete() const { return exists(entry(kCompleteName)) && exists(newItem()); }

QString WorkFolder::recoverAndClean(const QString& item)
{
    const QList<WorkFolder> folders = findFor(item);
    QStringList notes;
    if (!exists(item)) {
        // The newest finished copy wins; an item moved aside is the fallback.
        QString best;
        bool bestComplete = false;
        struct timespec bestTime {};
        for (const WorkFolder& folder : folders) {
            struct stat st;
            const bool complete = folder.isComplete() && lstatPath(folder.entry(kCompleteName), &st);
            const bool aside = !complete && lstatPath(folder.oldItem(), &st);
            if (!complete && !aside)
                continue;
            const bool newer = st.st_ctim.tv_sec > bestTime.tv_sec
                || (st.st_ctim.tv_sec == bestTime.tv_sec && st.st_ctim.tv_nsec > bestTime.tv_nsec);
            if (best.isEmpty() || (complete && !bestComplete) || (complete == bestComplete && newer)) {
                best = complete ? folder.newItem() : folder.oldItem();
                bestComplete = complete;
                bestTime = st.st_ctim;
            }
        }
        if (!best.isEmpty()) {
            const int err = renameWithFlags(best, item, RENAME_NOREPLACE);
            if (err == 0 || (RenameFlags::unsupported(err) && ::rename(encoded(best).constData(), encoded(item).constData()) == 0)) {
                DiskSync::syncDirectory(parentOf(item));
                notes << QStringLiteral("Brought back \"%1\" from an interrupted run (%2 copy).")
                             .arg(item, bestComplete ? QStringLiteral("new") : QStringLiteral("previous"));
            } else {
                // Keep every copy rather than clean up what could not be put back.
                notes << QStringLiteral("Could not bring back \"%1\": %2")
                             .arg(item, QString::fromLocal8Bit(std::strerror(err)));
                return notes.join(QLatin1Char('\n'));
            }
        }
    }
    for (const WorkFolder& folder : folders) {
        QString error;
        if (!folder.remove(&error))
            notes << error;
    }
    const QString cleaned = QDir::cleanPath(item);
    removeUnmarked(parentOf(cleaned), &notes);
    struct stat st;
    if (lstatPath(cleaned, &st) && S_ISDIR(st.st_mode))
        removeUnmarked(cleaned, &notes);
    return notes.join(QLatin1Char('\n'));
}

bool WorkFolder::commit(QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    QString flushError;
    if (!DiskSync::syncFileSystem(m_path, &flushError))
        return fail(flushError);
    int err = 0;
    const QByteArray complete = encoded(entry(kCompleteName));
    const int fd = ::open(complete.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(systemError(entry(kCompleteName), errno));
    ::close(fd);
    if (!DiskSync::syncDirectory(m_path))
        return fail(systemError(m_path, errno));
    FailPoint::hit("work-folder-complete");

    const QString parent = parentOf(m_item);
    if (!exists(m_item)) {
        err = renameWithFlags(newItem(), m_item, RENAME_NOREPLACE);
        if (RenameFlags::unsupported(err))
            err = ::rename(encoded(newItem()).constData(), encoded(m_item).constData()) == 0 ? 0 : errno;
        if (err != 0)
            return fail(systemError(m_item, err));
    } else {
        err = g_exchangeDisabled.load() ? EINVAL : renameWithFlags(newItem(), m_item, RENAME_EXCHANGE);
        if (err == 0) {
            // "new" now holds the replaced item: it must never be taken for the newest copy.
            ::unlink(complete.constData());
        } else if (RenameFlags::unsupported(err)) {
            if (::rename(encoded(m_item).constData(), encoded(oldItem()).constData()) != 0)
                return fail(systemError(m_item, errno));
            FailPoint::hit("work-folder-between-renames");
            if (::rename(encoded(newItem()).constData(), encoded(m_item).constData()) != 0) {
                err = errno;
                ::rename(encoded(oldItem()).constData(), encoded(m_item).constData());
                return fail(systemError(m_item, err));
            }
        } else {
            return fail(systemError(m_item, err));
        }
    }
    if (!DiskSync::syncDirectory(parent))
        return fail(systemError(parent, errno));
    FailPoint::hit("work-folder-committed");
    return true;
}

bool WorkFolder::remove(QString* error) const
{
    // The marker goes last: a removal cut short (the program killed, an entry that cannot
    // go) leaves a folder the next run still knows as ours, not a hidden copy of the user's
    // files that nothing ever removes and the next backup takes for theirs.
    const QString marker = QString::fromLatin1(kMarkerName);
    const QStringList names = QDir(m_path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (name != marker && !FileCopier::removeAll(entry(name), error))
            return false;
    }
    return FileCopier::removeAll(m_path, error);
}
