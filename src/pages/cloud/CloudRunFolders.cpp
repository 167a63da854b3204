#include "CloudRunFolders.h"

#include "CloudLocalPath.h"
#include "CloudPageLog.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString routeName(const QString& name)
{
    QString mapped = name;
    mapped.replace(QLatin1Char('/'), QLatin1Char(':'));
    return mapped;
}

} // namespace

QString CloudRunFolders::parentPathOf(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        parts.removeLast();
    QString out;
    for (const QString& part : std::as_const(parts))
        out += QLatin1Char('/') + part;
    return out;
}

std::optional<QString> CloudRunFolders::relativeFolderOf(const CloudItemClass& item, CloudLoginService service)
{
    // Google Drive places entries by their route, where a "/" of a name is already ":".
    const bool google = service == CloudLoginService::googleDrive;
    const QString cloudPath = google ? item.googleRoute : item.path;
    const QString name = google ? routeName(item.name) : item.name;
    if (cloudPath.isEmpty() || name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return std::nullopt;
    for (const QString& part : cloudPath.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return std::nullopt;
    // The entry's own folder, or the folder that holds the file: its last component dropped,
    // never its name cut out of the whole path.
    return item.isFolder() ? cloudPath : parentPathOf(cloudPath);
}

void CloudRunFolders::make(const QList<CloudItemPtr>& items, const QString& destination, CloudLoginService service)
{
    for (const CloudItemPtr& item : items) {
        const std::optional<QString> relative = relativeFolderOf(*item, service);
        std::optional<QString> dir = destination;
        if (!relative)
            dir.reset();
        else if (!relative->isEmpty())
            dir = CloudLocalPath::resolve(destination, *relative);
        if (!dir) {
            // The run fails this entry with its own remark; the others go on.
            qCInfo(lcCloudPage).noquote() << "Couldn't create document directory";
            continue;
        }
        if (!QFileInfo::exists(*dir) && !QDir().mkpath(*dir))
            qCInfo(lcCloudPage).noquote() << "Couldn't create document directory";
        qCDebug(lcCloudPage).noquote() << "Document directory is " + *dir;
    }
}
