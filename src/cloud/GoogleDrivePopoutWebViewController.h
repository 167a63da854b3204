#pragma once

#include "GoogleDriveConstant.h"
#include "LoopbackSignIn.h"

#include <QObject>
#include <QPointer>
#include <QString>

class GDWebPopoutDelegate;
class SignInWaitDialog;
class QWidget;

// The Google Drive sign-in page, shown in the user's own browser. The provider's redirect
// comes back to our loopback listener; a small wait window stands in for the sheet meanwhile.
// Created for one sign-in and dropped when it closes.
class GoogleDrivePopoutWebViewController : public QObject {
    Q_OBJECT
public:
    GoogleDrivePopoutWebViewController(const GoogleDriveConstant& constant, LoopbackSignIn::BrowserOpener openBrowser,
                                       QObject* parent = nullptr);
    ~GoogleDrivePopoutWebViewController() override;

    GDWebPopoutDelegate* delegate = nullptr;

    // Starts listening, shows the wait window over `presenter` and opens the page in the browser.
    void present(QWidget* presenter);
    // Ends without a result (the user cancelled, or a new sign-in replaces this one).
    void close();

    QString authorizeAddress() const;
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

    GoogleDriveConstant constant_;
    LoopbackSignIn::BrowserOpener openBrowser_;
    LoopbackSignIn listener_;
    QString state_;
    QPointer<SignInWaitDialog> dialog_;
    QWidget* presenter_ = nullptr;
    bool open_ = false;
};
