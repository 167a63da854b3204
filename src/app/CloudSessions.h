#pragma once

#include <QUrl>
#include <functional>

// What the application shell needs of the cloud clients: set-up before any cloud page is used,
// and the sign-outs at quit. Sign-outs never show windows (the application is shutting down)
// and answer through `done` once, from the GUI thread.
class CloudSessions {
public:
    using Done = std::function<void(bool signedOut)>;

    virtual ~CloudSessions() = default;

    virtual void setUp() = 0;
    // Forgets the stored Dropbox credentials; local and immediate.
    virtual void unlinkDropbox() = 0;
    // The Dropbox web sign-out page of the configured host; empty when there is none.
    virtual QUrl dropboxLogoutUrl() const = 0;
    // Revokes the Google Drive token over the network.
    virtual void logoutGoogleDrive(Done done) = 0;
    // Signs out of OneDrive without presenting any window.
    virtual void logoutOneDrive(Done done) = 0;
};
