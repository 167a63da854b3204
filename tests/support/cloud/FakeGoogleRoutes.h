#pragma once

#include "FakeCloudServer.h"

#include <QByteArray>
#include <QSet>
#include <QString>

class FakeCloudTree;
struct FakeCloudEntry;

// Google Drive's side of the stand-in cloud: the authorize page (it redirects the browser back
// at once with a code), the token and revoke endpoints, the files listing paged by page token
// (with a scriptable rate limit) and file content. The knobs script failures.
class FakeGoogleRoutes {
public:
    QString clientId = QStringLiteral("123456789012-standin.apps.googleusercontent.com"); // empty: any
    QString clientSecret = QStringLiteral("standin-google-secret");                         // empty: any
    QByteArray authorizationCode = "4/0standin-google-code";
    int expiresIn = 3599;
    QString email = QStringLiteral("ann@example.com");
    QString picture = QStringLiteral("https://example.com/ann.png");
    int pageSize = 100;
    int failPage = 0;            // listings: this page (1 = the first) answers failStatus
    int rateLimited = 0;         // the next this many listing requests answer "User Rate Limit Exceeded"
    QString failPath;            // content: this path answers failStatus
    int failStatus = 500;
    int delayMs = 0;             // every answer waits this long
    qint64 dropAfter = -1;       // content: the connection ends after this many bytes

    void install(FakeCloudServer& server, FakeCloudTree& tree);

    // Tokens handed out so far, in order.
    const QList<QByteArray>& accessTokens() const { return issuedAccess_; }
    // The identity token the code exchange answers with.
    QByteArray idToken() const;

private:
    std::optional<FakeCloudServer::Response> route(const FakeCloudServer::Request& r);
    FakeCloudServer::Response token(const FakeCloudServer::Request& r);
    FakeCloudServer::Response revoke(const FakeCloudServer::Request& r);
    FakeCloudServer::Response listing(const FakeCloudServer::Request& r);
    FakeCloudServer::Response content(const QString& id);
    QJsonObject file(const FakeCloudEntry& e) const;

    FakeCloudServer* server_ = nullptr;
    FakeCloudTree* tree_ = nullptr;
    QList<QByteArray> issuedAccess_;
    QSet<QByteArray> liveAccess_;
    QSet<QByteArray> liveRefresh_;
    int counter_ = 0;
};
