#pragma once

#include <QString>

// Addresses and credentials of the OneDrive client. The application's come from the build
// (defaults()); tests point every address at a local stand-in.
struct OneDriveConstant {
    QString clientID;
    QString clientSecret;      // empty for a registration without one: the field is then not sent
    QString authorizeUrl;      // <account host>/oauth20_authorize.srf
    QString getTokenUrl;       // <account host>/oauth20_token.srf
    QString logoutUrl;         // <account host>/oauth20_logout.srf
    QString secondLogoutUrl;   // <identity host>/common/oauth2/v2.0/logout
    QString redirectUri;       // http://localhost:5000/getAToken
    QString endpoint;          // <graph host>/v1.0/me

    static constexpr const char* RedirectPath = "/getAToken";
    static constexpr const char* Scope = "offline_access+User.Read+Files.ReadWrite.All";

    // The fixed paths under the given scheme-and-host texts.
    static OneDriveConstant atHosts(const QString& accountHost, const QString& identityHost,
                                    const QString& graphHost, const QString& redirectUri);
    // The build's hosts and registration.
    static OneDriveConstant defaults();

    bool hasCredentials() const { return !clientID.isEmpty(); }
};
