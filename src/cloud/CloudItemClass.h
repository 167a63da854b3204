#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

// One file or folder of a cloud account. Lists share records: a remark the download run
// writes shows in every list holding the same record.
class CloudItemClass {
public:
    CloudItemClass(QString name, QString path, QString type, QString id, quint64 size, QString date,
                   QString downloadPath, QString googleRoute)
        : name(std::move(name)),
          path(std::move(path)),
          type(type == QLatin1String("folder") ? QStringLiteral("folder") : QStringLiteral("file")),
          id(std::move(id)),
          size(size),
          date(std::move(date)),
          downloadPath(std::move(downloadPath)),
          googleRoute(std::move(googleRoute))
    {
    }

    QString name;
    QString path;
    QString type; // "file" or "folder"
    QString id;
    quint64 size = 0;
    QString date; // local time, "yyy-MM-dd HH:mm:ss"
    QString downloadPath;
    QString googleRoute;
    QString downloadFailIssue;
    // The service says it will not hand out this file's content (Dropbox marks some so).
    bool downloadable = true;

    bool isFolder() const { return type == QLatin1String("folder"); }
};

using CloudItemPtr = std::shared_ptr<CloudItemClass>;
