#pragma once

#include "LoopbackSignIn.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QLoggingCategory;
class QUrl;
class SignInProgress;

// What the browser sign-in sheets share: the loopback listener on the redirect address's
// port, the state value of the page opened, and the wait that stands in for the sheet until
// the service's redirect comes back or the user cancels; the wait is reported to a
// SignInProgress, whose watcher shows it. Only a redirect carrying the state of the page
// opened is taken; any other is refused in the browser.
class BrowserSignInSheet : public QObject {
    Q_OBJECT
public:
    ~BrowserSignInSheet() override;

    // Ends without a result (the user cancelled, or a new sign-in replaces this one).
    void close();
    // The PKCE challenge the page sends; the sheet's owner keeps the verifier for the exchange.
    QByteArray codeChallenge;
    bool isOpen() const { return open_; }

Q_SIGNALS:
    // The sign-in could not start (no credentials in this build, the port is taken).
    void failed(const QString& message);
    // The sheet is done, whatever the outcome.
    void finished();

protected:
    using LogCategory = const QLoggingCategory& (*)();

    // `service` is the name the user knows; `progress` (not owned) hears of the wait.
    BrowserSignInSheet(const QString& service, LogCategory log, const QString& redirectUri,
                       LoopbackSignIn::BrowserOpener openBrowser, SignInProgress* progress, QObject* parent);

    // The sheet is open from here on; a problem now goes through fail().
    void begin();
    // Listens for the redirect with a new state() and starts the wait, saying `message` when
    // given. False, already reported, when the port cannot be had.
    bool listen(const QString& message = QString());
    // Opens the page in the browser; when it cannot, the wait offers the address.
    void openPage(const QString& address);
    void fail(const QString& message);
    void dismiss();

    const QString& state() const { return state_; }
    const LoopbackSignIn::BrowserOpener& openBrowser() const { return openBrowser_; }

private:
    // Whether a redirect is the answer of this sign-in; decided before the browser is answered.
    virtual LoopbackSignIn::Verdict judge(const QUrl& url) const = 0;
    // A redirect that judge() did not refuse.
    virtual void handleRedirect(const QUrl& url) = 0;
    // Ends the wait this sheet started, if it still runs.
    void endWait();

    QString service_;
    LogCategory log_;
    QString redirectUri_;
    LoopbackSignIn::BrowserOpener openBrowser_;
    LoopbackSignIn listener_;
    QString state_;
    QPointer<SignInProgress> progress_;
    bool waiting_ = false; // this sheet's wait is the one on
    bool open_ = false;
};
