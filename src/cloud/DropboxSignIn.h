#pragma once

#include "DropboxDelays.h"
#include "DropboxEndpoints.h"
#include "DropboxOAuthResult.h"
#include "PkceCodes.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <functional>

class LoopbackSignIn;
class QNetworkAccessManager;
class QNetworkReply;
class SignInProgress;

// One Dropbox sign-in at a time: the authorize page in the user's browser with a PKCE
// challenge and a state value, the redirect caught by our loopback listener, and the code
// exchanged with the verifier for an access token and a refresh token that renews it.
class DropboxSignIn : public QObject {
    Q_OBJECT
public:
    // `tokens` is the token answer of a successful sign-in.
    using Done = std::function<void(const DropboxOAuthResult& result, const QJsonObject& tokens)>;

    // `progress` (not owned) hears of the wait for the browser.
    DropboxSignIn(QNetworkAccessManager* nam, QString appKey, DropboxEndpoints endpoints, DropboxDelays delays,
                  SignInProgress* progress, QObject* parent = nullptr);
    ~DropboxSignIn() override;

    void setBrowserOpener(std::function<bool(const QUrl&)> opener) { openBrowser_ = std::move(opener); }
    // `done` is called once: success with the token, an error, or a cancel. A pending
    // sign-in is first ended as cancelled. The progress hears of the wait, or of why the
    // sign-in could not start; its cancel ends the sign-in as cancelled.
    void start(Done done);
    void cancel();
    bool isPending() const { return bool(done_); }
    static QString unavailableMessage();

private:
    void onRedirected(const QUrl& url);
    void exchange(const QString& code);
    bool isOurAnswer(const QUrl& url) const;
    void finish(const DropboxOAuthResult& result, const QJsonObject& tokens = {});

    QNetworkAccessManager* nam_;
    QString appKey_;
    DropboxEndpoints endpoints_;
    DropboxDelays delays_;
    std::function<bool(const QUrl&)> openBrowser_;
    LoopbackSignIn* loopback_ = nullptr;
    QPointer<SignInProgress> progress_;
    QPointer<QNetworkReply> exchange_;
    PkceCodes codes_;
    QByteArray state_;
    QUrl redirectUri_;
    Done done_;
};
