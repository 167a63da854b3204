#pragma once

#include "LoopbackSignIn.h"
#include "OneDriveConstant.h"

#include <QObject>
#include <QPointer>
#include <QString>

class ODWebPopoutDelegate;
class SignInWaitDialog;
class QWidget;

// The OneDrive sign-in and sign-out pages, shown in the user's own browser. The service's
// redirect comes back to our loopback listener; a small wait window stands in for the sheet
// meanwhile. Created for one sign-in or sign-out and dropped when it closes.
class OneDrivePopoutWebViewController : public QObject {
    Q_OBJECT
public:
    OneDrivePopoutWebViewController(const OneDriveConstant& constant, LoopbackSignIn::BrowserOpener openBrowser,
                                    QObject* parent = nullptr);
    ~OneDrivePopoutWebViewController() override;

    ODWebPopoutDelegate* delegate = nullptr;
    QString operation = QStringLiteral("login"); // "login" or "logout"

    // Starts listening, shows the wait window over `presenter` and opens the page in the browser.
    void present(QWidget* presenter);
    // Ends without a result (the user cancelled, or a new sign-in replaces this one).
    void close();

    QString signInAddress() const;
    QString signOutAddress() const;
    SignInWaitDialog* dialog() const;
    bool isOpen() const { return open_; }

Q_SIGNALS:
    // The sign-in could not start (no credentials in this build, the port is taken).
    void failed(const QString& message);
    // The sheet is done, whatever the outcome.
    void finished();

private:
    void handleRedirect(const QUrl& url);
    void fail(const QString& message);
    void dismiss();

    OneDriveConstant constant_;
    LoopbackSignIn::BrowserOpener openBrowser_;
    LoopbackSignIn listener_;
    QString state_;
    QPointer<SignInWaitDialog> dialog_;
    QWidget* presenter_ = nullptr;
    bool open_ = false;
};
