#pragma once

#include "FakeCloudRoutes.h"
#include "FakeIssuedTokens.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

// Dropbox's side of the stand-in cloud: the authorize page (it signs in at once and redirects
// the browser back with a code), the PKCE code exchange and the refresh of an offline token,
// the account and space routes, folder listings paged by cursor, one entry's metadata, and
// file content. The knobs script failures.
struct FakeCloudEntry;

class FakeDropboxRoutes : public FakeCloudRoutes {
public:
    FakeDropboxRoutes()
        : FakeCloudRoutes(100)
    {
    }

    QString appKey = QStringLiteral("standin-dropbox-key"); // the client_id accepted; empty: any
    QByteArray authorizationCode = "standin-dropbox-code";
    int expiresIn = 14400;
    QString accountId = QStringLiteral("dbid:standin-account");
    QString email = QStringLiteral("ann@example.com");
    QString photoUrl; // empty: the account has no photo
    qint64 used = 1610612736;
    qint64 allocated = 2147483648;
    QString allocationKind = QStringLiteral("individual"); // "team", or anything else
    QSet<QString> notDownloadable; // paths of files listed as not downloadable

    // Access tokens handed out so far, in order.
    const QList<QByteArray>& accessTokens() const { return tokens_.accessTokens(); }
    // Every token handed out stops working, refresh tokens too.
    void revokeAllTokens() { tokens_.revokeAll(); }

private:
    std::optional<FakeCloudServer::Response> route(const FakeCloudServer::Request& r) override;
    FakeCloudServer::Response authorize(const FakeCloudServer::Request& r);
    FakeCloudServer::Response token(const FakeCloudServer::Request& r);
    FakeCloudServer::Response listing(const FakeCloudServer::Request& r, const QString& parentId, int offset);
    QJsonObject metadata(const FakeCloudEntry& e) const;
    FakeCloudServer::Response download(const FakeCloudServer::Request& r);

    // The challenge, redirect address and token kind each issued code was asked with.
    struct Grant {
        QByteArray challenge;
        QString redirect;
        bool offline = false;
    };
    QMap<QByteArray, Grant> issued_;
    FakeIssuedTokens tokens_ { "sl.standin-dropbox-access-", "standin-dropbox-refresh-" };
};
