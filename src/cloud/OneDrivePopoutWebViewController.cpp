#include "OneDrivePopoutWebViewController.h"

#include "ODWebPopoutDelegate.h"
#include "OneDriveLog.h"
#include "SecretRedaction.h"

#include <QUrlQuery>

OneDrivePopoutWebViewController::OneDrivePopoutWebViewController(const OneDriveConstant& constant,
                                                                 LoopbackSignIn::BrowserOpener openBrowser,
                                                                 SignInProgress* progress,
                                                                 QObject* parent)
    : BrowserSignInSheet(QStringLiteral("OneDrive"), lcOneDrive, constant.redirectUri, std::move(openBrowser), progress,
                         parent)
    , constant_(constant)
{
}

QString OneDrivePopoutWebViewController::signInAddress() const
{
    // Written as one text, without percent-encoding, as the service documents it.
    return constant_.authorizeUrl + QStringLiteral("?client_id=") + constant_.clientID + QStringLiteral("&scope=")
        + QLatin1String(OneDriveConstant::Scope) + QStringLiteral("&response_type=code&redirect_uri=")
        + constant_.redirectUri + QStringLiteral("&state=") + state() + QStringLiteral("&code_challenge=")
        + QString::fromLatin1(codeChallenge) + QStringLiteral("&code_challenge_method=S256");
}

QString OneDrivePopoutWebViewController::signOutAddress() const
{
    return constant_.logoutUrl + QStringLiteral("?client_id=") + constant_.clientID + QStringLiteral("&redirect_uri=")
        + constant_.redirectUri;
}

void OneDrivePopoutWebViewController::present()
{
    begin();
    const bool login = operation == QLatin1String("login");
    if (!login && operation != QLatin1String("logout")) {
        dismiss();
        return;
    }
    if (!constant_.hasCredentials()) {
        fail(tr("OneDrive sign-in is not available in this build of Zorvi: it was built without a OneDrive "
                "client id."));
        return;
    }
    const QString waiting = login ? QString()
                                  : tr("Waiting for your browser…\n\nOneDrive signs you out in the browser window "
                                       "that has opened.");
    if (listen(waiting))
        openPage(login ? signInAddress() : signOutAddress());
}

LoopbackSignIn::Verdict OneDrivePopoutWebViewController::judge(const QUrl& url) const
{
    const QUrlQuery query(url);
    const bool login = operation == QLatin1String("login");
    const bool answer = query.hasQueryItem(QStringLiteral("code")) || query.hasQueryItem(QStringLiteral("error"));
    if (login && answer && query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded) == state())
        return LoopbackSignIn::Verdict::accepted;
    // The sign-out comes back with "lc=" (or an error) and no code; it carries nothing to take.
    if (!login && !query.hasQueryItem(QStringLiteral("code"))) {
        if (query.hasQueryItem(QStringLiteral("lc")))
            return LoopbackSignIn::Verdict::signedOut;
        if (query.hasQueryItem(QStringLiteral("error")))
            return LoopbackSignIn::Verdict::accepted;
    }
    qCWarning(lcOneDrive).noquote() << "refused a sign-in answer that Zorvi did not ask for";
    return LoopbackSignIn::Verdict::refused;
}

void OneDrivePopoutWebViewController::handleRedirect(const QUrl& url)
{
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("code"))) {
        const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        ODWebPopoutDelegate* receiver = delegate;
        dismiss();
        if (receiver)
            receiver->getToken(code);
        return;
    }
    if (query.hasQueryItem(QStringLiteral("lc"))) {
        const QUrl second(constant_.secondLogoutUrl);
        if (second.isValid() && openBrowser())
            openBrowser()(second);
        dismiss();
        return;
    }
    qCInfo(lcOneDrive).noquote() << SecretRedaction::url(url);
    dismiss();
}
