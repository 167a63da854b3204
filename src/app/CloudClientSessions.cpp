#include "CloudClientSessions.h"

#include "CloudClients.h"
#include "DropboxWorker.h"
#include "GoogleDriveWorker.h"
#include "OneDriveWorker.h"

#include <QDesktopServices>

CloudClientSessions::CloudClientSessions(CloudClients& clients)
    : clients_(clients)
{
}

void CloudClientSessions::setUp()
{
    // Sign-ins happen in the user's own browser.
    clients_.setBrowserOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); });
}

void CloudClientSessions::unlinkDropbox()
{
    clients_.dropbox().unlinkClients();
}

QUrl CloudClientSessions::dropboxLogoutUrl() const
{
    return clients_.dropbox().logoutUrl();
}

void CloudClientSessions::logoutGoogleDrive(Done done)
{
    clients_.google().logout([done](bool ok) {
        if (done)
            done(ok);
    });
}

void CloudClientSessions::logoutOneDrive(Done done)
{
    // At quit no window may open: the tokens are only forgotten.
    clients_.onedrive().forgetSession();
    if (done)
        done(true);
}
