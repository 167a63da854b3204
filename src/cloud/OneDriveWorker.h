#pragma once

#include "CloudItemClass.h"
#include "CloudTokenSession.h"
#include "LoopbackSignIn.h"
#include "ODWebPopoutDelegate.h"
#include "OneDriveConstant.h"
#include "OneDriveDelays.h"
#include "PkceCodes.h"
#include "SignInProgress.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

class OneDrivePopoutWebViewController;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The OneDrive client: sign-in through the browser, tokens in memory only with one refresh
// timer, the account's e-mail and photo, folder listings over all pages and single items.
// Every completion runs once, on the GUI thread.
class OneDriveWorker : public QObject, public ODWebPopoutDelegate {
    Q_OBJECT
public:
    // Folders, then files, of all pages in reply order; `complete` is false when a page failed
    // and the lists hold only the pages before it.
    using ListCompletion = std::function<void(const QList<CloudItemPtr>& folders, const QList<CloudItemPtr>& files,
                                              bool complete)>;
    using BoolCompletion = std::function<void(bool)>;
    using TextCompletion = std::function<void(const QString&)>;
    // Null when the service did not say.
    using ItemCompletion = std::function<void(const CloudItemPtr& item)>;

    OneDriveWorker(const OneDriveConstant& constant, const OneDriveDelays& delays = {},
                   QNetworkAccessManager* manager = nullptr, QObject* parent = nullptr);
    ~OneDriveWorker() override;


    const OneDriveConstant& constant() const { return constant_; }
    QString email() const { return email_; }
    // The account's picture as the service sent it (bytes: the clients draw nothing); empty
    // when there is none.
    QByteArray image() const { return image_; }
    QString token() const { return tokens_.token(); }
    QString reToken() const { return tokens_.refreshToken(); }
    bool isRefreshScheduled() const { return tokens_.isRefreshScheduled(); }
    int refreshIntervalMs() const { return tokens_.refreshIntervalMs(); }
    // The token was refused and cannot be renewed: only a new sign-in helps.
    bool signInExpired() const { return tokens_.signInExpired(); }

    // Unset, the sign-in page's address is offered to the user instead.
    void setBrowserOpener(LoopbackSignIn::BrowserOpener opener) { openBrowser_ = std::move(opener); }
    // False in a build without a OneDrive client id; unavailableReason() says so.
    bool isAvailable() const { return constant_.hasCredentials(); }
    QString unavailableReason() const;

    // Opens the sign-in page in the browser and waits for the answer (see signInProgress());
    // the outcome arrives as OneDrive_login.
    void login();
    // Forgets the account and its tokens, then opens the sign-out pages in the browser and
    // waits for them in the same way.
    void logout();
    // Forgets the account and its tokens and stops the refresh; no wait, no browser.
    void forgetSession();
    // The sign-in sheet in progress, if any.
    OneDrivePopoutWebViewController* signInSheet() const;
    // The wait of the sign-in or sign-out in progress, for whoever shows it.
    SignInProgress* signInProgress() { return &progress_; }

    void getToken(const QString& code) override;
    void refreshToken();
    void getUserInfo(BoolCompletion completion);
    void getUserPhoto(BoolCompletion completion);
    // An empty id lists the drive's root.
    void listFolder(const QString& folderId, ListCompletion completion);
    void listFolderContinue(const QUrl& nextLink, ListCompletion completion);
    // The item's current download address, or the empty text.
    void getItemInfo(const CloudItemPtr& item, TextCompletion completion);
    // What the service says now of the item: its size, time and download address among it.
    void getItem(const CloudItemPtr& item, ItemCompletion completion);

    static CloudItemPtr parseItem(const QJsonObject& object);

Q_SIGNALS:
    // After each code exchange: true when an access token was stored.
    void OneDrive_login(bool signedIn);

private:
    struct Listing;

    QNetworkRequest graphRequest(const QUrl& url) const;
    // The token endpoint's form: the client's fields, then the grant.
    QNetworkReply* postTokenForm(const QString& grantField, const QString& grantValue, const QString& grantType,
                                 const QByteArray& verifier = {});
    void showSheet(const QString& operation);
    // Returns true when a token was stored.
    bool takeTokenReply(QNetworkReply* reply, bool refresh);
    void startListing(const QUrl& url, ListCompletion completion, bool continued);
    // `limited`: how often the service has answered this page with a rate limit so far.
    void fetchPage(const QUrl& url, std::shared_ptr<Listing> listing, int limited);
    // `round`: refresh-and-retry rounds so far; `limited`: rate-limited answers so far.
    void fetchItem(const CloudItemPtr& item, ItemCompletion completion, int round, int limited);
    bool sameOrigin(const QUrl& url) const;

    OneDriveConstant constant_;
    OneDriveDelays delays_;
    QNetworkAccessManager* manager_;
    LoopbackSignIn::BrowserOpener openBrowser_;
    SignInProgress progress_ { QStringLiteral("OneDrive") };
    QPointer<OneDrivePopoutWebViewController> sheet_;
    QString email_;
    QByteArray image_;
    PkceCodes pkce_; // of the sign-in in progress
    CloudTokenSession tokens_;
};
