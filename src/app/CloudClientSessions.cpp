#include "CloudClientSessions.h"

#include "DropboxWorker.h"
#include "GoogleDriveWorker.h"
#include "OneDriveWorker.h"

void CloudClientSessions::setUp()
{
    DropboxWorker::shared();
}

void CloudClientSessions::unlinkDropbox()
{
    DropboxWorker::shared().unlinkClients();
}

QUrl CloudClientSessions::dropboxLogoutUrl() const
{
    return DropboxWorker::shared().logoutUrl();
}

void CloudClientSessions::logoutGoogleDrive(Done done)
{
    GoogleDriveWorker::shared().logout([done](bool ok) {
        if (done)
            done(ok);
    });
}

void CloudClientSessions::logoutOneDrive(Done done)
{
    // At quit no window may open: the tokens are only forgotten.
    OneDriveWorker::shared().forgetSession();
    if (done)
        done(true);
}
