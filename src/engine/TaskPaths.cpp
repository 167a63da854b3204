#include "TaskPaths.h"

#include "ExternalVolumes.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QCoreApplication>
#include <QUuid>

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

QString TaskPaths::siblingTemporary(const QString& path, const QString& tag)
{
    const QFileInfo info(QDir::cleanPath(path));
    const QString token = QUuid::createUuid().toString(QUuid::Id128).left(12);
    return info.absolutePath() + "/." + info.fileName() + "." + tag + "-" + token;
}

QStringList TaskPaths::leftoverTemporaries(const QString& path)
{
    const QFileInfo info(QDir::cleanPath(path));
    const QRegularExpression pattern("^\\." + QRegularExpression::escape(info.fileName())
                                     + "\\.zorvi-[a-z]+-[0-9a-f]{12}$");
    QStringList found;
    const QStringList names = QDir(info.absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (pattern.match(name).hasMatch())
            found << info.absolutePath() + "/" + name;
    }
    return found;
}
