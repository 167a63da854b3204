#include "OneDrivePopoutWebViewController.h"

#include "ODWebPopoutDelegate.h"
#include "OneDriveLog.h"
#include "SecretRedaction.h"
#include "SignInWaitDialog.h"

#include <QUrlQuery>

namespace {
quint16 portOf(const QString& redirectUri)
{
    return quint16(QUrl(redirectUri).port(LoopbackSignIn::DefaultPort));
}
} // namespace

OneDrivePopoutWebViewController::OneDrivePopoutWebViewController(const OneDriveConstant& constant,
                                                                 LoopbackSignIn::BrowserOpener openBrowser,
                                                                 QObject* parent)
    : QObject(parent)
    , constant_(constant)
    , openBrowser_(std::move(openBrowser))
    , listener_(portOf(constant.redirectUri))
{
    connect(&listener_, &LoopbackSignIn::redirected, this, &OneDrivePopoutWebViewController::handleRedirect);
}

OneDrivePopoutWebViewController::~OneDrivePopoutWebViewController()
{
    if (dialog_)
        dialog_->finish();
}

QString OneDrivePopoutWebViewController::signInAddress() const
{
    // Written as one text, without percent-encoding, as the service documents it.
    return constant_.authorizeUrl + QStringLiteral("?client_id=") + constant_.clientID + QStringLiteral("&scope=")
        + QLatin1String(OneDriveConstant::Scope) + QStringLiteral("&response_type=code&redirect_uri=")
        + constant_.redirectUri + QStringLiteral("&state=") + state_;
}

QString OneDrivePopoutWebViewController::signOutAddress() const
{
    return constant_.logoutUrl + QStringLiteral("?client_id=") + constant_.clientID + QStringLiteral("&redirect_uri=")
        + constant_.redirectUri;
}

void OneDrivePopoutWebViewController::present(QWidget* presenter)
{
    presenter_ = presenter;
    open_ = true;
    if (operation != QLatin1String("login") && operation != QLatin1String("logout")) {
        dismiss();
        return;
    }
    if (!constant_.hasCredentials()) {
        fail(tr("OneDrive sign-in is not available in this build of Zorvi: it was built without a OneDrive "
                "client id."));
        return;
    }
    if (!listener_.begin(QUrl(constant_.redirectUri).path())) {
        fail(listener_.errorString());
        return;
    }
    state_ = LoopbackSignIn::newState();

    dialog_ = new SignInWaitDialog(QStringLiteral("OneDrive"), presenter);
    if (operation == QLatin1String("logout"))
        dialog_->setMessage(tr("Waiting for your browser…\n\nOneDrive signs you out in the browser window "
                               "that has opened."));
    connect(dialog_, &SignInWaitDialog::cancelled, this, [this] {
        dialog_ = nullptr; // it is closing itself
        close();
    });
    dialog_->open();

    const QUrl page(operation == QLatin1String("login") ? signInAddress() : signOutAddress(), QUrl::StrictMode);
    if (!page.isValid()) {
        fail(tr("The OneDrive sign-in address of this build is not valid."));
        return;
    }
    if (!openBrowser_ || !openBrowser_(page)) {
        qCWarning(lcOneDrive).noquote() << "webview ERROR!!!!!! the web browser could not be opened";
        dialog_->showAddress(page);
    }
}

SignInWaitDialog* OneDrivePopoutWebViewController::dialog() const
{
    return dialog_;
}

void OneDrivePopoutWebViewController::close()
{
    if (open_)
        dismiss();
}

void OneDrivePopoutWebViewController::handleRedirect(const QUrl& url)
{
    const QUrlQuery query(url);
    const bool ourState = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded) == state_;

    if (query.hasQueryItem(QStringLiteral("code"))) {
        if (operation != QLatin1String("login") || !ourState) {
            qCWarning(lcOneDrive).noquote() << "ignored a sign-in answer that Zorvi did not ask for";
            return;
        }
        const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        ODWebPopoutDelegate* receiver = delegate;
        dismiss();
        if (receiver)
            receiver->getToken(code);
        return;
    }
    if (query.hasQueryItem(QStringLiteral("lc"))) {
        if (operation != QLatin1String("logout"))
            return;
        const QUrl second(constant_.secondLogoutUrl);
        if (second.isValid() && openBrowser_)
            openBrowser_(second);
        dismiss();
        return;
    }
    if (query.hasQueryItem(QStringLiteral("error"))) {
        if (operation == QLatin1String("login") && !ourState) {
            qCWarning(lcOneDrive).noquote() << "ignored a sign-in answer that Zorvi did not ask for";
            return;
        }
        qCInfo(lcOneDrive).noquote() << SecretRedaction::url(url);
        dismiss();
    }
}

void OneDrivePopoutWebViewController::fail(const QString& message)
{
    qCWarning(lcOneDrive).noquote() << message;
    listener_.cancel();
    open_ = false;
    if (!dialog_) {
        dialog_ = new SignInWaitDialog(QStringLiteral("OneDrive"), presenter_);
        dialog_->open();
    }
    dialog_->showProblem(message);
    dialog_ = nullptr; // the user closes it; nothing waits on it any more
    Q_EMIT failed(message);
    Q_EMIT finished();
}

void OneDrivePopoutWebViewController::dismiss()
{
    listener_.cancel();
    open_ = false;
    if (dialog_) {
        SignInWaitDialog* dialog = dialog_;
        dialog_ = nullptr;
        dialog->finish();
    }
    Q_EMIT finished();
}
