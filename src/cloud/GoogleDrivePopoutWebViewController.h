#pragma once

#include "BrowserSignInSheet.h"
#include "GoogleDriveConstant.h"

#include <QString>

class GDWebPopoutDelegate;
class SignInProgress;

// The Google Drive sign-in page, shown in the user's own browser. The provider's redirect
// comes back to our loopback listener; the wait stands in for the sheet meanwhile.
// Created for one sign-in and dropped when it closes.
class GoogleDrivePopoutWebViewController : public BrowserSignInSheet {
    Q_OBJECT
public:
    // `progress` (not owned) hears of the wait.
    GoogleDrivePopoutWebViewController(const GoogleDriveConstant& constant, LoopbackSignIn::BrowserOpener openBrowser,
                                       SignInProgress* progress, QObject* parent = nullptr);

    GDWebPopoutDelegate* delegate = nullptr;

    // Starts listening, starts the wait and opens the page in the browser.
    void present();

    QString authorizeAddress() const;

private:
    LoopbackSignIn::Verdict judge(const QUrl& url) const override;
    void handleRedirect(const QUrl& url) override;

    GoogleDriveConstant constant_;
};
