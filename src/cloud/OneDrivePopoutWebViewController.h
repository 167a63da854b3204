#pragma once

#include "BrowserSignInSheet.h"
#include "OneDriveConstant.h"

#include <QString>

class ODWebPopoutDelegate;
class SignInProgress;

// The OneDrive sign-in and sign-out pages, shown in the user's own browser. The service's
// redirect comes back to our loopback listener; the wait stands in for the sheet meanwhile. Created for one sign-in or sign-out and dropped when it closes.
class OneDrivePopoutWebViewController : public BrowserSignInSheet {
    Q_OBJECT
public:
    // `progress` (not owned) hears of the wait.
    OneDrivePopoutWebViewController(const OneDriveConstant& constant, LoopbackSignIn::BrowserOpener openBrowser,
                                    SignInProgress* progress, QObject* parent = nullptr);

    ODWebPopoutDelegate* delegate = nullptr;
    QString operation = QStringLiteral("login"); // "login" or "logout"

    // Starts listening, starts the wait and opens the page in the browser.
    void present();

    QString signInAddress() const;
    QString signOutAddress() const;

private:
    LoopbackSignIn::Verdict judge(const QUrl& url) const override;
    void handleRedirect(const QUrl& url) override;

    OneDriveConstant constant_;
};
