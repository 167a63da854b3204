#pragma once

#include "CloudItemClass.h"
#include "CloudTokenSession.h"
#include "GDWebPopoutDelegate.h"
#include "GoogleDriveConstant.h"
#include "GoogleDriveDelays.h"
#include "LoopbackSignIn.h"
#include "PkceCodes.h"
#include "SignInProgress.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class GoogleDrivePopoutWebViewController;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The Google Drive client: sign-in through the browser, tokens in memory only with one refresh
// timer, the account's e-mail and picture from the identity token, revocation at sign-out,
// folder listings over all pages and the content request of one file. Every completion runs
// once, on the GUI thread.
class GoogleDriveWorker : public QObject, public GDWebPopoutDelegate {
    Q_OBJECT
public:
    // The records of all pages in page order; `complete` is false when a page failed (or the
    // service kept limiting the rate) and the list holds only the pages before it.
    using ListCompletion = std::function<void(const QList<CloudItemPtr>& items, bool complete)>;
    using BoolCompletion = std::function<void(bool)>;
    // Null when the service did not say; `refused`: it refused the access token (HTTP 401).
    using ItemCompletion = std::function<void(const CloudItemPtr& item, bool refused)>;

    GoogleDriveWorker(const GoogleDriveConstant& constant, const GoogleDriveDelays& delays = {},
                      QNetworkAccessManager* manager = nullptr, QObject* parent = nullptr);
    ~GoogleDriveWorker() override;


    const GoogleDriveConstant& constant() const { return constant_; }
    QString email() const { return email_; }
    QString photoUrl() const { return photoUrl_; }
    QString token() const { return tokens_.token(); }
    QString reToken() const { return tokens_.refreshToken(); }
    bool isRefreshScheduled() const { return tokens_.isRefreshScheduled(); }
    int refreshIntervalMs() const { return tokens_.refreshIntervalMs(); }
    // The token was refused and cannot be renewed: only a new sign-in helps.
    bool signInExpired() const { return tokens_.signInExpired(); }

    // Unset, the sign-in page's address is offered to the user instead.
    void setBrowserOpener(LoopbackSignIn::BrowserOpener opener) { openBrowser_ = std::move(opener); }
    // False in a build without a Google client id and secret; unavailableReason() says so.
    bool isAvailable() const { return constant_.hasCredentials(); }
    QString unavailableReason() const;

    // Opens the sign-in page in the browser and waits for the answer (see signInProgress());
    // the outcome arrives as GoogleDrive_login.
    void login();
    // Forgets the account, its tokens and the refresh, and revokes the token with the provider.
    // `done` (optional) learns whether the revocation was answered.
    void logout(BoolCompletion done = {});
    // The sign-in sheet in progress, if any.
    GoogleDrivePopoutWebViewController* signInSheet() const;
    // The wait of the sign-in in progress, for whoever shows it.
    SignInProgress* signInProgress() { return &progress_; }

    void getToken(const QString& code) override;
    // Renews the access token; with nothing to renew it with, the sign-in has expired.
    void refreshToken();
    void decodeIdToken(const QString& idToken);
    // An empty folder id lists the root; `route` is the folder's place in the tree.
    void listFolder(const QString& folderId, const QString& route, ListCompletion completion);
    void listFolderContinue(const QString& pageToken, const QString& route, const QString& folderId,
                            ListCompletion completion);
    // The started content request of one file, owned by the caller; null when no address can
    // be formed.
    QNetworkReply* downloadRequest(const QString& fileId);
    // What the service says now of one file: its size and modification time.
    void getFile(const QString& fileId, ItemCompletion completion);

    static CloudItemPtr parseItem(const QJsonObject& object, const QString& route, bool root);

Q_SIGNALS:
    // After each code exchange: true when an access token was stored.
    void GoogleDrive_login(bool signedIn);

private:
    // The token service's answer, printed with its secrets redacted after `prefix`; none when
    // the request failed or the answer is not JSON.
    std::optional<QJsonDocument> readTokenAnswer(QNetworkReply* reply, const QString& prefix);
    struct Listing;

    QUrl listingUrl(const QString& folderId, const QString& pageToken) const;
    // `limited`: how often the service has answered this page with a rate limit so far.
    void fetchPage(std::shared_ptr<Listing> listing, const QString& pageToken, int limited);
    // Adds the page's records; returns false when the answer holds no "files".
    bool takePage(const QJsonDocument& doc, Listing& listing);
    void fetchFile(const QUrl& url, ItemCompletion completion, int limited);

    GoogleDriveConstant constant_;
    GoogleDriveDelays delays_;
    QNetworkAccessManager* manager_;
    LoopbackSignIn::BrowserOpener openBrowser_;
    SignInProgress progress_ { QStringLiteral("Google Drive") };
    QPointer<GoogleDrivePopoutWebViewController> sheet_;
    QString email_;
    QString photoUrl_;
    PkceCodes pkce_; // of the sign-in in progress
    CloudTokenSession tokens_;
};
