#pragma once

#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class QJsonObject;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

// The tokens of a signed-in account, held in memory only, with the one timer that renews the
// access token a margin before it expires, and the form posts to the service's token
// endpoints. Each sign-out starts a new session: answers to requests of an earlier one are to
// be dropped, so a refresh in flight cannot bring the tokens back.
class CloudTokenSession {
public:
    // Renewal comes this long before the expiry, or a fifth of the token's life when that is less.
    static constexpr int RenewMarginSeconds = 5 * 60;

    // `refresh` runs when the access token is due; a second of "expires_in" lasts `secondMs`.
    CloudTokenSession(QNetworkAccessManager* manager, int transferTimeoutMs, int secondMs,
                      std::function<void()> refresh);

    QString token() const { return token_; }
    QString refreshToken() const { return reToken_; }
    bool isRefreshScheduled() const { return timer_.isActive(); }
    // How long after the last token answer the renewal runs.
    int refreshIntervalMs() const { return timer_.interval(); }
    quint64 session() const { return session_; }
    // True when a renewal may start now: a refresh token is held and none is under way. Asked
    // with no refresh token while signed in, the sign-in is over: signInExpired() says so.
    bool beginRefresh();
    void setRefreshReply(QNetworkReply* reply);
    // The service refused the renewal, or there was nothing to renew with: only a new sign-in
    // gives a working token again.
    bool signInExpired() const { return expired_; }

    // Takes the access token of a token answer and, when the answer says when it expires, its
    // refresh token and the renewal. A refresh answer without a new refresh token keeps the one
    // held, which renews again. False when the answer holds no access token; a refresh answered
    // with an OAuth error ends the sign-in.
    bool take(const QJsonObject& answer, bool refresh);
    // Forgets the tokens, stops the renewal and starts a new session.
    void forget();

    // A request that carries the access token.
    QNetworkRequest bearerRequest(const QUrl& url) const;
    // An x-www-form-urlencoded POST of `fields`, each value percent-encoded.
    QNetworkReply* postForm(const QString& url, const QList<QPair<QString, QString>>& fields) const;
    // A request that follows no redirect: what it carries (a token, a secret, a code) goes to
    // the address asked for and nowhere else, and a redirect answers as itself, a failure.
    static QNetworkRequest pinnedRequest(const QUrl& url, int transferTimeoutMs);

private:
    QNetworkAccessManager* manager_;
    int transferTimeoutMs_;
    int secondMs_;
    QString token_;
    QString reToken_;
    QTimer timer_;
    QPointer<QNetworkReply> refreshReply_;
    quint64 session_ = 0;
    bool expired_ = false;
};
