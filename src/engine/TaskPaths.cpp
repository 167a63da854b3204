#include "TaskPaths.h"

#include "ExternalVolumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

bool lstatOf(const QString& path, struct stat* st)
{
    return ::lstat(QFile::encodeName(path).constData(), st) == 0;
}

} // namespace

bool TaskPaths::exists(const QString& path)
{
    struct stat st;
    return lstatOf(path, &st);
}

bool TaskPaths::isLink(const QString& path)
{
    struct stat st;
    return lstatOf(path, &st) && S_ISLNK(st.st_mode);
}

bool TaskPaths::isRealDirectory(const QString& path)
{
    struct stat st;
    return lstatOf(path, &st) && S_ISDIR(st.st_mode);
}

bool TaskPaths::onMissingVolume(const QString& path)
{
    return ExternalVolumes::volumeRoot(path).has_value() && !ExternalVolumes::mountRoot(path).has_value();
}

QString TaskPaths::restorePlace(const QString& place, bool backupIsLink)
{
    if (!backupIsLink && isLink(place))
        return QDir::cleanPath(QFileInfo(place).symLinkTarget());
    return place;
}

QString TaskPaths::systemError(const QString& path, int error)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

QString TaskPaths::writeProblem(const QString& folder, int error)
{
    if (error == EACCES || error == EPERM)
        return QCoreApplication::translate("TaskInfo", "You may not write in the folder \"%1\".").arg(folder);
    if (error == EROFS)
        return QCoreApplication::translate("TaskInfo", "The folder \"%1\" is on a disk that cannot be written.").arg(folder);
    return systemError(folder, error);
}

QString TaskPaths::noRoomToRestore(const QString& place)
{
    return QCoreApplication::translate("TaskInfo", "There is not enough free space on the disk of \"%1\" to restore it. Nothing was changed there.")
        .arg(place);
}

bool TaskPaths::isValidTaskName(const QString& name)
{
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    for (QChar c : name) {
        if (c == '/' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

bool TaskPaths::isInsideOrEqual(const QString& path, const QString& ancestor)
{
    return ExternalVolumes::isInsideOrEqual(path, ancestor);
}

QString TaskPaths::overlapProblem(const QStringList& sourcePaths, const QString& destination, const QString& taskFolder)
{
    for (const QString& source : sourcePaths) {
        if (source.isEmpty())
            continue;
        if (isInsideOrEqual(source, taskFolder))
            return QCoreApplication::translate("TaskPaths", "A source lies inside the backup folder \"%1\".").arg(taskFolder);
        if (isInsideOrEqual(destination, source))
            return QCoreApplication::translate("TaskPaths", "The destination lies inside the source \"%1\".").arg(source);
    }
    return {};
}

QStringList TaskPaths::withoutNested(const QStringList& sourcePaths)
{
    QStringList kept;
    for (qsizetype i = 0; i < sourcePaths.size(); ++i) {
        const QString& path = sourcePaths.at(i);
        bool covered = false;
        for (qsizetype j = 0; j < sourcePaths.size() && !covered; ++j) {
            if (i == j)
                continue;
            const QString& other = sourcePaths.at(j);
            // Of two equal paths the first one stays.
            covered = isInsideOrEqual(path, other) && (!isInsideOrEqual(other, path) || j < i);
        }
        if (!covered)
            kept << path;
    }
    return kept;
}
