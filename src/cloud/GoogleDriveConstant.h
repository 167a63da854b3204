#pragma once

#include <QString>

// Addresses and credentials of the Google Drive client. The application's come from the build
// (defaults()); tests point every address at a local stand-in.
struct GoogleDriveConstant {
    QString scope;          // the four scope addresses joined by "+"
    QString clientID;
    QString clientSecret;
    QString authorizeUrl;   // <accounts host>/o/oauth2/v2/auth
    QString getTokenUrl;    // <OAuth host>/token
    QString redirectUri;    // http://localhost:5000/
    QString logoutUrl;      // <OAuth host>/revoke
    QString endpoint;       // <API host>/drive/v3/files

    // Scopes name permissions, not places: they stay the provider's whatever host serves us.
    static QString defaultScope();
    static GoogleDriveConstant atHosts(const QString& accountsHost, const QString& oauthHost, const QString& apiHost,
                                       const QString& redirectUri);
    static GoogleDriveConstant defaults();

    bool hasCredentials() const { return !clientID.isEmpty() && !clientSecret.isEmpty(); }
};
