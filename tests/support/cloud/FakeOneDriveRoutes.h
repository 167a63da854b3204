#pragma once

#include "FakeCloudServer.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QUrl>

class FakeCloudTree;

// OneDrive's side of the stand-in cloud: the account pages (sign-in redirects the browser back
// at once with a code, sign-out with "lc="), the token endpoint, and the Graph routes the
// client uses (user, photo, listings paged by nextLink, single items) plus the pre-authenticated
// content addresses the items name. The knobs script failures.
class FakeOneDriveRoutes {
public:
    QString clientId = QStringLiteral("standin-onedrive-client"); // the client_id accepted; empty: any
    QByteArray authorizationCode = "M.standin-onedrive-code";
    int expiresIn = 3600;
    bool issueRefreshToken = true;
    QString mail = QStringLiteral("ann@example.com"); // empty: the user answer has "mail": null
    QString userPrincipalName = QStringLiteral("ann@example.onmicrosoft.com");
    int pageSize = 200;
    int failPage = 0;           // listings: this page (1 = the first) answers failStatus
    QString failPath;           // content: this path answers failStatus
    int failStatus = 500;
    int delayMs = 0;            // every answer waits this long
    qint64 dropAfter = -1;      // content: the connection ends after this many bytes
    QUrl nextLinkBase;          // empty: next pages on this server; else on that scheme and host
    bool refuseTokens = false;  // every Graph request answers InvalidAuthenticationToken

    void install(FakeCloudServer& server, FakeCloudTree& tree);

    // Tokens handed out so far, in order.
    const QList<QByteArray>& accessTokens() const { return issuedAccess_; }

private:
    std::optional<FakeCloudServer::Response> route(const FakeCloudServer::Request& r);
    FakeCloudServer::Response token(const FakeCloudServer::Request& r);
    FakeCloudServer::Response graph(const FakeCloudServer::Request& r, const QString& path);
    FakeCloudServer::Response listing(const FakeCloudServer::Request& r, const QString& parentId);
    FakeCloudServer::Response content(const QString& id);
    QJsonObject item(const QString& id) const;
    QUrl base() const;

    FakeCloudServer* server_ = nullptr;
    FakeCloudTree* tree_ = nullptr;
    QList<QByteArray> issuedAccess_;
    QSet<QByteArray> liveAccess_;
    QSet<QByteArray> liveRefresh_;
    int counter_ = 0;
};
