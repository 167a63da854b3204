#include "CloudLocalPath.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

std::optional<QString> CloudLocalPath::resolve(const QString& destination, const QString& cloudPath)
{
    if (destination.isEmpty() || cloudPath.contains(QChar(0)))
        return std::nullopt;
    const QString root = QDir::cleanPath(QFileInfo(destination).absoluteFilePath());
    QString path = root == QLatin1String("/") ? QString() : root;
    int parts = 0;
    for (const QString& part : cloudPath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return std::nullopt;
        path += QLatin1Char('/') + part;
        ++parts;
    }
    if (parts == 0)
        return std::nullopt;
    // Components are free of "/" by construction; cleanPath must not have shortened anything.
    const QString clean = QDir::cleanPath(path);
    const QString prefix = root == QLatin1String("/") ? root : root + QLatin1Char('/');
    if (clean != path || !clean.startsWith(prefix))
        return std::nullopt;
    return clean;
}

QString CloudLocalPath::parentOf(const QString& localPath)
{
    const int slash = localPath.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return slash == 0 ? QStringLiteral("/") : QString();
    return localPath.left(slash);
}
