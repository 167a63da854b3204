#pragma once

#include "CloudItemClass.h"
#include "CloudLoginService.h"
#include "DropboxMetadata.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <functional>

class DropboxWorker;
class GoogleDriveWorker;
class OneDriveWorker;

// The one way the picker lists a folder of any service, as records. `ok` is false when the
// listing failed or stopped after some pages: the records are then only part of the folder.
class CloudFolderLister {
public:
    using Done = std::function<void(const QList<CloudItemPtr>& items, bool ok)>;

    // A service whose client is unset (or gone) answers an empty, failed listing.
    void setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive);

    // Dropbox lists by `path`, Google Drive by `id` (passing `route` on to the records),
    // OneDrive by `id`, its folders before its files. An empty path or id is the root.
    // `done` runs once, on the GUI thread, after list() has returned.
    void list(CloudLoginService service, const QString& path, const QString& id, const QString& route, Done done) const;

    // A Dropbox entry as a record; null for a folder without a display path and for a
    // deleted entry.
    static CloudItemPtr fromDropbox(const DropboxMetadata& entry);

private:
    QPointer<DropboxWorker> dropbox_;
    QPointer<GoogleDriveWorker> google_;
    QPointer<OneDriveWorker> onedrive_;
};
