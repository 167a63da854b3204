#include "GoogleDrivePopoutWebViewController.h"

#include "GDWebPopoutDelegate.h"
#include "GoogleDriveLog.h"
#include "SecretRedaction.h"
#include "SignInWaitDialog.h"

#include <QUrlQuery>

GoogleDrivePopoutWebViewController::GoogleDrivePopoutWebViewController(const GoogleDriveConstant& constant,
                                                                       LoopbackSignIn::BrowserOpener openBrowser,
                                                                       QObject* parent)
    : QObject(parent)
    , constant_(constant)
    , openBrowser_(std::move(openBrowser))
    , listener_(quint16(QUrl(constant.redirectUri).port(LoopbackSignIn::DefaultPort)))
{
    connect(&listener_, &LoopbackSignIn::redirected, this, &GoogleDrivePopoutWebViewController::handleRedirect);
}

GoogleDrivePopoutWebViewController::~GoogleDrivePopoutWebViewController()
{
    if (dialog_)
        dialog_->finish();
}

QString GoogleDrivePopoutWebViewController::authorizeAddress() const
{
    // Written as one text, without further encoding, as the provider documents it.
    return constant_.authorizeUrl + QStringLiteral("?scope=") + constant_.scope
        + QStringLiteral("&response_type=code&redirect_uri=") + constant_.redirectUri + QStringLiteral("&client_id=")
        + constant_.clientID + QStringLiteral("&state=") + state_;
}

void GoogleDrivePopoutWebViewController::present(QWidget* presenter)
{
    presenter_ = presenter;
    open_ = true;
    if (!constant_.hasCredentials()) {
        fail(tr("Google Drive sign-in is not available in this build of Zorvi: it was built without a Google "
                "client id and client secret."));
        return;
    }
    const QString path = QUrl(constant_.redirectUri).path();
    if (!listener_.begin(path.isEmpty() ? QStringLiteral("/") : path)) {
        fail(listener_.errorString());
        return;
    }
    state_ = LoopbackSignIn::newState();

    dialog_ = new SignInWaitDialog(QStringLiteral("Google Drive"), presenter);
    connect(dialog_, &SignInWaitDialog::cancelled, this, [this] {
        dialog_ = nullptr; // it is closing itself
        close();
    });
    dialog_->open();

    const QUrl page(authorizeAddress(), QUrl::StrictMode);
    if (!page.isValid()) {
        fail(tr("The Google Drive sign-in address of this build is not valid."));
        return;
    }
    if (!openBrowser_ || !openBrowser_(page)) {
        qCWarning(lcGoogleDrive).noquote() << "webview ERROR!!!!!! the web browser could not be opened";
        dialog_->showAddress(page);
    }
}

SignInWaitDialog* GoogleDrivePopoutWebViewController::dialog() const
{
    return dialog_;
}

void GoogleDrivePopoutWebViewController::close()
{
    if (open_)
        dismiss();
}

void GoogleDrivePopoutWebViewController::handleRedirect(const QUrl& url)
{
    const QUrlQuery query(url);
    const bool hasCode = query.hasQueryItem(QStringLiteral("code"));
    if (!hasCode && !query.hasQueryItem(QStringLiteral("error")))
        return;
    if (query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded) != state_) {
        qCWarning(lcGoogleDrive).noquote() << "ignored a sign-in answer that Zorvi did not ask for";
        return;
    }
    if (!hasCode) {
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

void GoogleDrivePopoutWebViewController::fail(const QString& message)
{
    qCWarning(lcGoogleDrive).noquote() << message;
    listener_.cancel();
    open_ = false;
    if (!dialog_) {
        dialog_ = new SignInWaitDialog(QStringLiteral("Google Drive"), presenter_);
        dialog_->open();
    }
    dialog_->showProblem(message);
    dialog_ = nullptr; // the user closes it; nothing waits on it any more
    Q_EMIT failed(message);
    Q_EMIT finished();
}

void GoogleDrivePopoutWebViewController::dismiss()
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
