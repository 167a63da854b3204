#pragma once

#include "FakeCloudRoutes.h"

#include <QByteArray>
#include <QMap>
#include <QString>

// Dropbox's side of the stand-in cloud: the authorize page (it signs in at once and redirects
// the browser back with a code), the PKCE code exchange, the account and space routes, folder
// listings paged by cursor, and file content. The knobs script failures.
class FakeDropboxRoutes : public FakeCloudRoutes {
public:
    FakeDropboxRoutes()
        : FakeCloudRoutes(100)
    {
    }

    QString appKey = QStringLiteral("standin-dropbox-key"); // the client_id accepted; empty: any
    QByteArray authorizationCode = "standin-dropbox-code";
    QByteArray accessToken = "standin-dropbox-token";
    QString accountId = QStringLiteral("dbid:standin-account");
    QString email = QStringLiteral("ann@example.com");
    QString photoUrl; // empty: the account has no photo
    qint64 used = 1610612736;
    qint64 allocated = 2147483648;
    QString allocationKind = QStringLiteral("individual"); // "team", or anything else

private:
    std::optional<FakeCloudServer::Response> route(const FakeCloudServer::Request& r) override;
    FakeCloudServer::Response authorize(const FakeCloudServer::Request& r);
    FakeCloudServer::Response token(const FakeCloudServer::Request& r);
    FakeCloudServer::Response listing(const QString& parentId, int offset);
    FakeCloudServer::Response download(const FakeCloudServer::Request& r);

    // The challenge and redirect address each issued code was asked with.
    QMap<QByteArray, QPair<QByteArray, QString>> issued_;
};
