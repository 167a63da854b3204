#pragma once

#include "LoopbackSignIn.h"

#include <QObject>

class DropboxWorker;
class GoogleDriveWorker;
class OneDriveWorker;

// The application's three cloud clients, built from the build's registrations and hosts and
// owned together: the application makes one set when it starts and drops it when it ends.
// The pages and the sign-outs at quit are handed the clients; none of them owns one.
class CloudClients : public QObject {
    Q_OBJECT
public:
    explicit CloudClients(QObject* parent = nullptr);
    ~CloudClients() override;

    DropboxWorker& dropbox() const { return *dropbox_; }
    GoogleDriveWorker& google() const { return *google_; }
    OneDriveWorker& onedrive() const { return *onedrive_; }

    // How every sign-in opens the user's browser.
    void setBrowserOpener(const LoopbackSignIn::BrowserOpener& opener);

private:
    DropboxWorker* dropbox_;
    GoogleDriveWorker* google_;
    OneDriveWorker* onedrive_;
};
