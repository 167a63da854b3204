#include "LaunchFootprint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

void LaunchFootprint::noteFiles(const QStringList& files)
{
    for (const QString& path : files) {
        if (path.isEmpty())
            continue;
        const QString file = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        if (!QFileInfo::exists(file) && !QFileInfo(file).isSymLink() && !files_.contains(file))
            files_ << file;
        noteMissingFolders(QFileInfo(file).absolutePath());
    }
}

void LaunchFootprint::noteFolders(const QStringList& folders)
{
    for (const QString& path : folders)
        if (!path.isEmpty())
            noteMissingFolders(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

void LaunchFootprint::noteMissingFolders(QString folder)
{
    while (!folder.isEmpty() && folder != QLatin1String("/") && !QFileInfo::exists(folder)
           && !QFileInfo(folder).isSymLink()) {
        if (!folders_.contains(folder))
            folders_ << folder;
        folder = QFileInfo(folder).absolutePath();
    }
}

void LaunchFootprint::takeBack() const
{
    for (const QString& file : files_) {
        const QFileInfo info(file);
        // A launch writes plain files; a folder or link of that name is not its doing.
        if (info.isFile() && !info.isSymLink())
            QFile::remove(file);
    }
    QStringList folders = folders_;
    std::sort(folders.begin(), folders.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& folder : folders)
        QDir().rmdir(folder); // fails, and keeps the folder, unless it is empty
}
