#include "CloudClients.h"

#include "DropboxDefaults.h"
#include "DropboxWorker.h"
#include "GoogleDriveWorker.h"
#include "OneDriveWorker.h"

CloudClients::CloudClients(QObject* parent)
    : QObject(parent)
    , dropbox_(new DropboxWorker(DropboxDefaults::appKey(), DropboxDefaults::endpoints(), DropboxDelays {}, nullptr, this))
    , google_(new GoogleDriveWorker(GoogleDriveConstant::defaults(), GoogleDriveDelays {}, nullptr, this))
    , onedrive_(new OneDriveWorker(OneDriveConstant::defaults(), OneDriveDelays {}, nullptr, this))
{
}

// The clients go with their parent, before anything of the application they belong to.
CloudClients::~CloudClients() = default;

void CloudClients::setBrowserOpener(const LoopbackSignIn::BrowserOpener& opener)
{
    dropbox_->setBrowserOpener(opener);
    google_->setBrowserOpener(opener);
    onedrive_->setBrowserOpener(opener);
}
