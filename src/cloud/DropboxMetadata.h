#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// One entry of a folder listing, as the service describes it. Folders carry no size and no
// modification time.
struct DropboxMetadata {
    enum class Kind { file, folder, deleted };

    Kind kind = Kind::file;
    QString name;
    QString id; // "id:..."
    QString pathLower;
    QString pathDisplay; // empty when the service gives none
    quint64 size = 0;
    QDateTime clientModified;
    bool downloadable = true; // false: the service does not hand out this file's content

    bool isFile() const { return kind == Kind::file; }

    static DropboxMetadata fromJson(const QJsonObject& o)
    {
        DropboxMetadata m;
        const QString tag = o.value(QLatin1String(".tag")).toString();
        m.kind = tag == QLatin1String("folder") ? Kind::folder
               : tag == QLatin1String("deleted") ? Kind::deleted
                                                  : Kind::file;
        m.name = o.value(QLatin1String("name")).toString();
        m.id = o.value(QLatin1String("id")).toString();
        m.pathLower = o.value(QLatin1String("path_lower")).toString();
        m.pathDisplay = o.value(QLatin1String("path_display")).toString();
        if (m.isFile()) {
            m.size = quint64(std::max<qint64>(0, o.value(QLatin1String("size")).toInteger()));
            m.clientModified = QDateTime::fromString(o.value(QLatin1String("client_modified")).toString(), Qt::ISODate);
            m.downloadable = o.value(QLatin1String("is_downloadable")).toBool(true);
        }
        return m;
    }
};
