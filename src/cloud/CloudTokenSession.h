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
// access token before it expires, and the form posts to the service's token endpoints. Each
// sign-out starts a new session: answers to requests of an earlier one are to be dropped, so
// a refresh in flight cannot bring the tokens back.
class CloudTokenSession {
public:
    // `refresh` runs when the access token is due; a second of "expires_in" lasts `secondMs`.
    CloudTokenSession(QNetworkAccessManager* manager, int transferTimeoutMs, int secondMs,
                      std::function<void()> refresh);

    QString token() const { return token_; }
    QString refreshToken() const { return reToken_; }
    bool isRefreshScheduled() const { return timer_.isActive(); }
    quint64 session() const { return session_; }
    // A refresh token is held and no renewal is under way.
    bool canRefresh() const;
    void setRefreshReply(QNetworkReply* reply);

    // Takes the access token of a token answer and, when the answer says when it expires, its
    // refresh token and the renewal. A refresh answer without a new refresh token keeps the one
    // held, which renews again. False when the answer holds no access token.
    bool take(const QJsonObject& answer, bool refresh);
    // Forgets the tokens, stops the renewal and starts a new session.
    void forget();

    // A request that carries the access token.
    QNetworkRequest bearerRequest(const QUrl& url) const;
    // An x-www-form-urlencoded POST of `fields`, each value percent-encoded.
    QNetworkReply* postForm(const QString& url, const QList<QPair<QString, QString>>& fields) const;

private:
    QNetworkAccessManager* manager_;
    int transferTimeoutMs_;
    int secondMs_;
    QString token_;
    QString reToken_;
    QTimer timer_;
    QPointer<QNetworkReply> refreshReply_;
    quint64 session_ = 0;
};
