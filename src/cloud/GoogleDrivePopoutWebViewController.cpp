#include "GoogleDrivePopoutWebViewController.h"

#include "GDWebPopoutDelegate.h"
#include "GoogleDriveLog.h"
#include "SecretRedaction.h"

#include <QUrlQuery>

GoogleDrivePopoutWebViewController::GoogleDrivePopoutWebViewController(const GoogleDriveConstant& constant,
                                                                       LoopbackSignIn::BrowserOpener openBrowser,
                                                                       SignInProgress* progress,
                                                                       QObject* parent)
    : BrowserSignInSheet(QStringLiteral("Google Drive"), lcGoogleDrive, constant.redirectUri, std::move(openBrowser),
                         progress, parent)
    , constant_(constant)
{
}

QString GoogleDrivePopoutWebViewController::authorizeAddress() const
{
    // Written as one text, without further encoding, as the provider documents it.
    return constant_.authorizeUrl + QStringLiteral("?scope=") + constant_.scope
        + QStringLiteral("&response_type=code&redirect_uri=") + constant_.redirectUri + QStringLiteral("&client_id=")
        + constant_.clientID + QStringLiteral("&state=") + state() + QStringLiteral("&code_challenge=")
        + QString::fromLatin1(codeChallenge) + QStringLiteral("&code_challenge_method=S256");
}

void GoogleDrivePopoutWebViewController::present()
{
    begin();
    if (!constant_.hasCredentials()) {
        fail(tr("Google Drive sign-in is not available in this build of Zorvi: it was built without a Google "
                "client id and client secret."));
        return;
    }
    if (listen())
        openPage(authorizeAddress());
}

LoopbackSignIn::Verdict GoogleDrivePopoutWebViewController::judge(const QUrl& url) const
{
    const QUrlQuery query(url);
    const bool answer = query.hasQueryItem(QStringLiteral("code")) || query.hasQueryItem(QStringLiteral("error"));
    if (!answer || query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded) != state()) {
        qCWarning(lcGoogleDrive).noquote() << "refused a sign-in answer that Zorvi did not ask for";
        return LoopbackSignIn::Verdict::refused;
    }
    return LoopbackSignIn::Verdict::accepted;
}

void GoogleDrivePopoutWebViewController::handleRedirect(const QUrl& url)
{
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("code"))) {
        qCInfo(lcGoogleDrive).noquote() << SecretRedaction::url(url);
        dismiss();
        return;
    }
    const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    qCInfo(lcGoogleDrive).noquote() << "code" << SecretRedaction::placeholder();
    GDWebPopoutDelegate* receiver = delegate;
    dismiss();
    if (receiver)
        receiver->getToken(code);
}
