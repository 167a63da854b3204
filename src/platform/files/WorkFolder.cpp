#include "WorkFolder.h"

#include "DiskSync.h"
#include "FailPoint.h"
#include "FileCopier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kMarkerName = "zorvi-work";
const QByteArray kMarkerTitle = "Zorvi work folder";
const QString kCompleteName = QStringLiteral("complete");

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

bool noSuchFlag(int err) { return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTSUP; }

QString parentOf(const QString& item) { return QFileInfo(QDir::cleanPath(item)).absolutePath(); }
QString nameOf(const QString& item) { return QFileInfo(QDir::cleanPath(item)).fileName(); }

QByteArray markerText(const QString& itemName) { return kMarkerTitle + '\n' + encoded(itemName) + '\n'; }

} // namespace

void WorkFolder::setExchangeDisabled(bool disabled) { g_exchangeDisabled.store(disabled); }

QString WorkFolder::newItem() const { return entry(QStringLiteral("new")); }
QString WorkFolder::oldItem() const { return entry(QStringLiteral("old")); }
QString WorkFolder::entry(const QString& name) const { return m_path + QLatin1Char('/') + name; }

std::optional<WorkFolder> WorkFolder::create(const QString& item, QString* error)
{
    const QString parent = parentOf(item);
    QByteArray pattern = encoded(parent + QStringLiteral("/.zorvi-XXXXXX"));
    if (!::mkdtemp(pattern.data())) {
        if (error)
            *error = systemError(parent, errno);
        return std::nullopt;
    }
    WorkFolder folder(QFile::decodeName(pattern), QDir::cleanPath(item));
    const QByteArray marker = encoded(folder.entry(QString::fromLatin1(kMarkerName)));
    const int fd = ::open(marker.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const QByteArray text = markerText(nameOf(item));
    const bool written = fd >= 0 && ::write(fd, text.constData(), size_t(text.size())) == text.size();
    const int err = errno;
    if (fd >= 0)
        ::close(fd);
    if (!written) {
        folder.remove();
        if (error)
            *error = systemError(folder.path(), err);
        return std::nullopt;
    }
    return folder;
}

QList<WorkFolder> WorkFolder::findFor(const QString& item)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.zorvi-[A-Za-z0-9]{6}$"));
    const QString parent = parentOf(item);
    const QByteArray expected = markerText(nameOf(item));
    QList<WorkFolder> found;
    const QStringList names = QDir(parent).entryList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!pattern.match(name).hasMatch())
            continue;
        const QString path = parent + QLatin1Char('/') + name;
        struct stat st;
        if (!lstatPath(path, &st) || !S_ISDIR(st.st_mode))
            continue;
        QFile marker(path + QLatin1Char('/') + QString::fromLatin1(kMarkerName));
        if (!marker.open(QIODevice::ReadOnly) || marker.read(expected.size() + 1) != expected)
            continue;
        found.append(WorkFolder(path, QDir::cleanPath(item)));
    }
    return found;
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
            if (err == 0 || (noSuchFlag(err) && ::rename(encoded(best).constData(), encoded(item).constData()) == 0)) {
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
        if (noSuchFlag(err))
            err = ::rename(encoded(newItem()).constData(), encoded(m_item).constData()) == 0 ? 0 : errno;
        if (err != 0)
            return fail(systemError(m_item, err));
    } else {
        err = g_exchangeDisabled.load() ? EINVAL : renameWithFlags(newItem(), m_item, RENAME_EXCHANGE);
        if (err == 0) {
            // "new" now holds the replaced item: it must never be taken for the newest copy.
            ::unlink(complete.constData());
        } else if (noSuchFlag(err)) {
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

bool WorkFolder::remove(QString* error) const { return FileCopier::removeAll(m_path, error); }
