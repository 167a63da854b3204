#include "UtilityFunctions.h"

#include "EngineLog.h"
#include "ExternalVolumes.h"
#include "MessagePresenter.h"
#include "SizeText.h"
#include "TreeSize.h"
#include "VolumeIdentity.h"
#include "messageViewDelegate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>
#include <QUuid>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::atomic<MessagePresenter*> g_presenter { nullptr };

constexpr long kExfatSuperMagic = 0x2011BAB0;

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// Sets the FAT hidden attribute where the file system has one; elsewhere there is nothing
// to set and that counts as done.
bool hideFile(const QString& path, QString& error)
{
    const QByteArray name = QFile::encodeName(path);
    struct statfs fs;
    if (::statfs(name.constData(), &fs) != 0) {
        error = errnoText(errno);
        return false;
    }
    if (long(fs.f_type) != long(MSDOS_SUPER_MAGIC) && long(fs.f_type) != kExfatSuperMagic)
        return true;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errnoText(errno);
        return false;
    }
    bool ok = true;
    quint32 attributes = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0) {
        // A driver without the attribute calls: nothing to set.
        ok = errno == ENOTTY || errno == EINVAL || errno == EOPNOTSUPP;
        if (!ok)
            error = errnoText(errno);
    } else {
        attributes |= ATTR_HIDDEN;
        if (::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attributes) != 0) {
            error = errnoText(errno);
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

QStringList nonEmptyComponents(const QString& path)
{
    return path.split('/', Qt::SkipEmptyParts);
}

} // namespace

// ---------------------------------------------------------------- message window

void UtilityFunctions::setMessagePresenter(MessagePresenter* presenter)
{
    g_presenter = presenter;
}

MessagePresenter* UtilityFunctions::messagePresenter()
{
    return g_presenter.load();
}

void UtilityFunctions::showMessageView(QObject* presenter, const QString& title, const QString& imageName,
                                       const QString& message, bool showSecondBtn)
{
    MessageRequest request;
    request.title = title;
    request.imageName = imageName;
    request.message = message;
    request.showSecondBtn = showSecondBtn;
    showMessageView(presenter, request, dynamic_cast<messageViewDelegate*>(presenter));
}

void UtilityFunctions::showMessageView(QObject* presenter, const MessageRequest& request,
                                       messageViewDelegate* delegate)
{
    MessagePresenter* p = g_presenter.load();
    if (!p) {
        qCInfo(lcEngine) << "no message window to show:" << request.title << request.message;
        return;
    }
    p->present(presenter, request, delegate);
}

// ---------------------------------------------------------------- tasks

TaskInfoPtr UtilityFunctions::copyTaskInfo(const TaskInfoPtr& t)
{
    if (!t)
        return nullptr;
    TaskInfoPtr copy = TaskInfo::initWithValues(t->taskName, t->lastBackupDate, t->backupSrc, t->backupDest, t->backupId,
                                                t->function, t->password, t->scheduleMode, t->hour, t->minute, t->date,
                                                t->weekday, t->backupStatus, t->restoreStatus, t->totalSize, t->fileCount,
                                                t->directoryCount, t->isOtbChecked, t->fixedSourcePaths, true);
    copy->fixedSourceIdentities = t->fixedSourceIdentities;
    return copy;
}

// ---------------------------------------------------------------- sizes

namespace {

// What copying `path` writes: links measured by what they point to, folders by the space
// their files take, sparse files without their holes, and a file with several names once.
qint64 itemSize(const QString& path, TreeSize::SeenInodes& seen, QStringList* unreadable, QStringList* workFolders)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0) {
        const int err = errno;
        if (::lstat(name.constData(), &st) == 0) // a dangling link is copied as itself
            return qint64(st.st_size);
        const QString problem = QStringLiteral("%1: %2").arg(path, errnoText(err));
        qCInfo(lcEngine).noquote() << "Error: " + problem;
        // Missing is nothing to measure; anything else hides what is there.
        if (unreadable && err != ENOENT && err != ENOTDIR)
            *unreadable << problem;
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        qint64 total = 0;
        TreeSize::sumBelow(path, TreeSize::Measure::Allocated, total, &seen, unreadable, workFolders);
        return total;
    }
    if (S_ISREG(st.st_mode) && st.st_nlink > 1 && !seen.insert({ st.st_dev, st.st_ino }).second)
        return 0;
    return std::min(qint64(st.st_size), qint64(st.st_blocks) * 512);
}

} // namespace

qint64 UtilityFunctions::getItemSize(const QString& path)
{
    TreeSize::SeenInodes seen;
    return itemSize(path, seen, nullptr, nullptr);
}

qint64 UtilityFunctions::getTotalSize(const QStringList& entries, QStringList* unreadable, QStringList* workFolders)
{
    TreeSize::SeenInodes seen;
    qint64 total = 0;
    for (const QString& entry : entries) {
        const QStringList pieces = entry.split(';', Qt::SkipEmptyParts);
        if (pieces.isEmpty())
            continue;
        total += itemSize(pieces.first(), seen, unreadable, workFolders);
    }
    return total;
}

namespace {
std::atomic<qint64> g_freeSpaceForTests { -1 };
}

void UtilityFunctions::setFreeSpaceForTests(qint64 bytes) { g_freeSpaceForTests.store(bytes); }

qint64 UtilityFunctions::getFreeSpace(const QString& entry)
{
    if (const qint64 forced = g_freeSpaceForTests.load(); forced >= 0)
        return forced;
    const QStringList pieces = entry.split(';', Qt::SkipEmptyParts);
    const QString path = pieces.isEmpty() ? QString() : pieces.first();
    struct statvfs fs;
    if (path.isEmpty() || ::statvfs(QFile::encodeName(path).constData(), &fs) != 0) {
        qCInfo(lcEngine).noquote() << "Check failed for " + path + ".\n";
        return 0;
    }
    if (fs.f_blocks == 0) // a volume without sizes (proc, sysfs, ...)
        return 0;
    const qint64 free = qint64(fs.f_bavail) * qint64(fs.f_frsize);
    qCInfo(lcEngine).noquote() << "Free space on " + path + " is " + QString::number(free) + " bytes";
    return free;
}

QString UtilityFunctions::formatSize(qint64 bytes)
{
    return SizeText::format(bytes);
}

// ---------------------------------------------------------------- volume identity

std::optional<QString> UtilityFunctions::getVolumeUUID(const QString& path)
{
    const std::optional<VolumeIdentity> found = VolumeIdentity::read(TaskInfo::pathPart(path));
    if (!found)
        return std::nullopt;
    switch (found->state) {
    case VolumeIdentity::State::Carried:
        return found->identity;
    case VolumeIdentity::State::Unusable:
        qCInfo(lcEngine).noquote() << "Error: " + found->file + ": " + found->reason;
        return QString();
    case VolumeIdentity::State::Empty:
        return QString();
    case VolumeIdentity::State::Missing:
        break;
    }
    return writeNewIdentity(found->file).value_or(QStringLiteral("#"));
}

std::optional<QString> UtilityFunctions::writeNewIdentity(const QString& file)
{
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    QString error;
    QSaveFile f(file);
    bool ok = f.open(QIODevice::WriteOnly) && f.write(uuid.toUtf8()) == uuid.toUtf8().size() && f.commit();
    if (!ok)
        error = f.errorString();
    else
        ok = hideFile(file, error);
    if (!ok) {
        qCInfo(lcEngine).noquote() << "write uuid to \"" + file + "\" fail";
        qCInfo(lcEngine).noquote() << "Error: " + error;
        return std::nullopt;
    }
    return uuid;
}

std::optional<QString> UtilityFunctions::readVolumeUUID(const QString& path)
{
    const std::optional<VolumeIdentity> found = VolumeIdentity::read(TaskInfo::pathPart(path));
    if (!found || found->state == VolumeIdentity::State::Missing)
        return std::nullopt;
    return found->identity;
}

bool UtilityFunctions::isExternalVolumePath(const QString& path)
{
    return ExternalVolumes::isExternalPath(path);
}

QString UtilityFunctions::tagPathWithDevice(const QString& path)
{
    if (!isExternalVolumePath(path))
        return path;
    return path + ";" + getVolumeUUID(path).value_or(QString());
}

std::optional<QString> UtilityFunctions::getVolumeRoot(const QString& entry)
{
    return ExternalVolumes::volumeRoot(TaskInfo::pathPart(entry));
}

QString UtilityFunctions::replaceVolumePrefix(const QString& path, const QString& newRoot)
{
    const QStringList parts = nonEmptyComponents(path);
    const QStringList rootParts = nonEmptyComponents(newRoot);
    // How much of the path is its old root: known from the mount bases, otherwise as deep
    // as the new root.
    qsizetype oldDepth = rootParts.size();
    if (const auto oldRoot = ExternalVolumes::volumeRoot(path))
        oldDepth = nonEmptyComponents(*oldRoot).size();
    QStringList out = rootParts;
    for (qsizetype i = std::min(oldDepth, parts.size()); i < parts.size(); ++i)
        out << parts[i];
    return "/" + out.join('/');
}

QString UtilityFunctions::identityPart(const QString& entry)
{
    const QStringList pieces = entry.split(';');
    return pieces.size() > 1 ? pieces[1] : QString();
}
