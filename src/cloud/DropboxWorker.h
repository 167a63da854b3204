#pragma once

#include "CloudFileDownload.h"
#include "CloudTokenSession.h"
#include "DropboxDelays.h"
#include "DropboxEndpoints.h"
#include "DropboxMetadata.h"
#include "DropboxOAuthResult.h"
#include "SignInProgress.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

class DropboxSignIn;
class QNetworkReply;

// The application's client of Dropbox API v2: sign-in by the OAuth code flow with PKCE in the
// user's browser, the account's e-mail, photo and space, folder listings with all their pages,
// and file downloads. The access and refresh tokens live in memory only; the access token is
// renewed before it expires. Every completion is called exactly once, on the GUI thread, also
// when nobody is signed in.
class DropboxWorker : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(bool ok)>;
    // `ok` false: a page failed and `entries` holds only the pages before it.
    using ListDone = std::function<void(const QList<DropboxMetadata>& entries, bool ok)>;
    // No entry when the service did not say; `refused`: it refused the access token (HTTP 401).
    using MetadataDone = std::function<void(const std::optional<DropboxMetadata>& entry, bool refused)>;
    using AuthDone = std::function<void(const DropboxOAuthResult& result)>;
    using BrowserOpener = std::function<bool(const QUrl&)>;
    using Progress = CloudFileDownload::Progress;
    using DownloadDone = CloudFileDownload::Done;

    // `manager` (not owned) carries every request; unset, the client makes its own.
    DropboxWorker(QString appKey, DropboxEndpoints endpoints, DropboxDelays delays = {},
                  QNetworkAccessManager* manager = nullptr, QObject* parent = nullptr);
    ~DropboxWorker() override;


    QString email() const { return email_; }
    void setEmail(const QString& v) { email_ = v; }
    QString photo() const { return photo_; }
    void setPhoto(const QString& v) { photo_ = v; }
    QString spaceInfo() const { return spaceInfo_; }
    void setSpaceInfo(const QString& v) { spaceInfo_ = v; }

    // False when the build has no Dropbox app key; sign-in then fails with unavailableMessage().
    bool isAvailable() const { return !appKey_.isEmpty(); }
    static QString unavailableMessage();
    bool isSignedIn() const { return !tokens_.token().isEmpty(); }
    bool isRefreshScheduled() const { return tokens_.isRefreshScheduled(); }
    QString token() const { return tokens_.token(); }
    // The token was refused and cannot be renewed: only a new sign-in helps.
    bool signInExpired() const { return tokens_.signInExpired(); }
    // Unset, the authorize page's address is offered to the user instead.
    void setBrowserOpener(BrowserOpener opener);

    // Opens the authorize page in the browser and waits for its redirect to the loopback
    // listener (see signInProgress()). A new sign-in ends a pending one as cancelled.
    void authorize(AuthDone done);
    void cancelAuthorization();
    bool isAuthorizing() const;
    // The wait of the sign-in in progress, for whoever shows it.
    SignInProgress* signInProgress() { return &progress_; }

    void getUserInfo(Done done);
    void getUserSpace(Done done);
    void listFolder(const QString& path, ListDone done); // "" (or "/") is the root
    void listFolderContinue(const QString& cursor, ListDone done);
    // What the service says now of the file or folder at `path`.
    void getMetadata(const QString& path, MetadataDone done);
    // Renews the access token with the refresh token; with nothing to renew it with, the
    // sign-in has expired.
    void refreshToken();
    // Fetches the file at `path` into `localFile`, replacing it only when complete and never
    // writing more than `listedSize` bytes. Returns the running download for cancel(), or null
    // when none could start (`done` still follows).
    QPointer<CloudFileDownload> download(const QString& path, const QString& localFile, quint64 listedSize,
                                         Progress progress, DownloadDone done);

    // Forgets the e-mail and the token and opens the service's sign-out page.
    void logout();
    // Forgets the token; answers of requests still running are reported as failures.
    void unlinkClients();
    void openLogoutPage();
    QUrl logoutUrl() const;

private:
    struct Answer {
        bool ok = false;
        int status = 0;
        QJsonObject json;
        QString error;          // what went wrong, for the log
        bool rateLimited = false;
        QByteArray retryAfter;
    };
    using AnswerHandler = std::function<void(const Answer&)>;

    struct Listing;

    void rpc(const QString& route, const QJsonObject* args, AnswerHandler handler);
    void listPage(const QString& route, const QJsonObject& args, std::shared_ptr<Listing> listing, int limited);
    void askMetadata(const QString& path, MetadataDone done, int limited);
    QNetworkRequest request(const QUrl& base, const QString& route) const;
    void later(std::function<void()> f);

    QString appKey_;
    DropboxEndpoints endpoints_;
    DropboxDelays delays_;
    QNetworkAccessManager* nam_;
    BrowserOpener openBrowser_;
    SignInProgress progress_ { QStringLiteral("Dropbox") };
    DropboxSignIn* signIn_ = nullptr;
    CloudTokenSession tokens_; // a new session with every sign-in and sign-out
    QString email_;
    QString photo_;
    QString spaceInfo_;
};
