#include "CloudFolderLister.h"

#include "CloudPickerLog.h"
#include "DropboxWorker.h"
#include "GoogleDriveWorker.h"
#include "OneDriveWorker.h"

#include <QCoreApplication>
#include <QTimer>

void CloudFolderLister::setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive)
{
    dropbox_ = dropbox;
    google_ = google;
    onedrive_ = onedrive;
}

void CloudFolderLister::list(CloudLoginService service, const QString& path, const QString& id, const QString& route,
                             Done done) const
{
    switch (service) {
    case CloudLoginService::dropbox:
        if (!dropbox_)
            break;
        dropbox_->listFolder(path, [done](const QList<DropboxMetadata>& entries, bool ok) {
            QList<CloudItemPtr> items;
            for (const DropboxMetadata& entry : entries) {
                CloudItemPtr item = fromDropbox(entry);
                if (!item)
                    continue;
                qCDebug(lcCloudPicker).noquote() << (item->isFolder() ? "(folder)" : "(file)") << item->name;
                items.append(item);
            }
            done(items, ok);
        });
        return;
    case CloudLoginService::googleDrive:
        if (!google_)
            break;
        google_->listFolder(id, route, [done](const QList<CloudItemPtr>& items, bool complete) { done(items, complete); });
        return;
    case CloudLoginService::onedrive:
        if (!onedrive_)
            break;
        onedrive_->listFolder(id, [done](const QList<CloudItemPtr>& folders, const QList<CloudItemPtr>& files, bool complete) {
            done(folders + files, complete);
        });
        return;
    case CloudLoginService::none:
        break;
    }
    QTimer::singleShot(0, QCoreApplication::instance(), [done] { done({}, false); });
}

CloudItemPtr CloudFolderLister::fromDropbox(const DropboxMetadata& entry)
{
    switch (entry.kind) {
    case DropboxMetadata::Kind::deleted:
        return nullptr;
    case DropboxMetadata::Kind::folder:
        if (entry.pathDisplay.isEmpty())
            return nullptr;
        return std::make_shared<CloudItemClass>(entry.name, entry.pathDisplay, QStringLiteral("folder"), QString(), 0,
                                                QString(), QString(), QString());
    case DropboxMetadata::Kind::file:
        break;
    }
    const QString date = entry.clientModified.isValid()
        ? entry.clientModified.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        : QString();
    auto item = std::make_shared<CloudItemClass>(entry.name, entry.pathDisplay, QStringLiteral("file"), entry.id,
                                                 entry.size, date, QString(), QString());
    item->downloadable = entry.downloadable;
    return item;
}
