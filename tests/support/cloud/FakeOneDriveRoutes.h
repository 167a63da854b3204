#pragma once

#include "FakeCloudRoutes.h"
#include "FakeIssuedTokens.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// OneDrive's side of the stand-in cloud: the account pages (sign-in redirects the browser back
// at once with a code, sign-out with "lc="), the token endpoint (the code exchange must answer
// the PKCE challenge of the sign-in page), and the Graph routes the
// client uses (user, photo, listings paged by nextLink, single items) plus the pre-authenticated
// content addresses the items name. The knobs script failures.
class FakeOneDriveRoutes : public FakeCloudRoutes {
public:
    FakeOneDriveRoutes()
        : FakeCloudRoutes(200)
    {
    }

    QString clientId = QStringLiteral("standin-onedrive-client"); // the client_id accepted; empty: any
    QByteArray authorizationCode = "M.standin-onedrive-code";
    int expiresIn = 3600;
    bool issueRefreshToken = true;
    QString mail = QStringLiteral("ann@example.com"); // empty: the user answer has "mail": null
    QString userPrincipalName = QStringLiteral("ann@example.onmicrosoft.com");
    QUrl nextLinkBase;          // empty: next pages on this server; else on that scheme and host
    bool refuseTokens = false;  // every Graph request answers InvalidAuthenticationToken

    // Tokens handed out so far, in order.
    const QList<QByteArray>& accessTokens() const { return tokens_.accessTokens(); }
    // Every token handed out stops working, refresh tokens too.
    void revokeAllTokens() { tokens_.revokeAll(); }

private:
    std::optional<FakeCloudServer::Response> route(const FakeCloudServer::Request& r) override;
    FakeCloudServer::Response token(const FakeCloudServer::Request& r);
    FakeCloudServer::Response graph(const FakeCloudServer::Request& r, const QString& path);
    FakeCloudServer::Response listing(const FakeCloudServer::Request& r, const QString& parentId);
    QJsonObject item(const QString& id) const;
    QUrl base() const;

    FakeIssuedTokens tokens_ { "EwB-standin-onedrive-access-", "M.R3-standin-onedrive-refresh-" };
    QByteArray challenge_; // of the last sign-in page; the code exchange must match it
};
