#include "AppcastFile.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

AppcastFile::AppcastFile(QString directory)
    : directory_(std::move(directory))
{
}

QString AppcastFile::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString AppcastFile::path() const
{
    return directory_.isEmpty() ? QString() : QDir(directory_).filePath(QString::fromLatin1(FileName));
}

bool AppcastFile::write(const QString& appcast, QString* error) const
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (directory_.isEmpty())
        return fail(QStringLiteral("There is no application data folder for the update feed."));
    if (!QDir().mkpath(directory_))
        return fail(QStringLiteral("The folder %1 could not be created.").arg(directory_));

    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("%1 could not be written: %2").arg(path(), file.errorString()));
    const QByteArray bytes = appcast.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(QStringLiteral("%1 could not be written: %2").arg(path(), why));
    }
    if (!file.commit())
        return fail(QStringLiteral("%1 could not be saved: %2").arg(path(), file.errorString()));
    return true;
}
