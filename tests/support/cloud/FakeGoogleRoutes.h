#pragma once

#include "FakeCloudRoutes.h"
#include "FakeIssuedTokens.h"

#include <QByteArray>
#include <QString>

struct FakeCloudEntry;

// Google Drive's side of the stand-in cloud: the authorize page (it redirects the browser back
// at once with a code, and remembers the PKCE challenge the code exchange must answer), the
// token and revoke endpoints, the files listing paged by page token (with a scriptable rate
// limit), one file's metadata and file content. The knobs script failures.
class FakeGoogleRoutes : public FakeCloudRoutes {
public:
    FakeGoogleRoutes()
        : FakeCloudRoutes(100)
    {
    }

    QString clientId = QStringLiteral("123456789012-standin.apps.googleusercontent.com"); // empty: any
    QString clientSecret = QStringLiteral("standin-google-secret");                         // empty: any
    QByteArray authorizationCode = "4/0standin-google-code";
    int expiresIn = 3599;
    QString email = QStringLiteral("ann@example.com");
    QString picture = QStringLiteral("https://example.com/ann.png");
    int rateLimited = 0;         // the next this many listing requests answer "User Rate Limit Exceeded"
    int rateLimitedPage = 0;     // only requests for this page (1 = the first) count; 0: any

    // Tokens handed out so far, in order.
    const QList<QByteArray>& accessTokens() const { return tokens_.accessTokens(); }
    // Every token handed out stops working, refresh tokens too.
    void revokeAllTokens() { tokens_.revokeAll(); }
    // The identity token the code exchange answers with.
    QByteArray idToken() const;

private:
    std::optional<FakeCloudServer::Response> route(const FakeCloudServer::Request& r) override;
    FakeCloudServer::Response token(const FakeCloudServer::Request& r);
    FakeCloudServer::Response revoke(const FakeCloudServer::Request& r);
    FakeCloudServer::Response listing(const FakeCloudServer::Request& r);
    QJsonObject file(const FakeCloudEntry& e) const;

    FakeIssuedTokens tokens_ { "ya29.standin-google-access-", "1//standin-google-refresh-" };
    QByteArray challenge_; // of the last authorize request; the code exchange must match it
};
