#include "BrowserSignInSheet.h"

#include "SignInWaitDialog.h"

#include <QLoggingCategory>
#include <QUrl>

BrowserSignInSheet::BrowserSignInSheet(const QString& service, LogCategory log, const QString& redirectUri,
                                       LoopbackSignIn::BrowserOpener openBrowser, QObject* parent)
    : QObject(parent)
    , service_(service)
    , log_(log)
    , redirectUri_(redirectUri)
    , openBrowser_(std::move(openBrowser))
    , listener_(quint16(QUrl(redirectUri).port(LoopbackSignIn::DefaultPort)))
{
    listener_.setJudge([this](const QUrl& url) { return judge(url); });
    connect(&listener_, &LoopbackSignIn::redirected, this, &BrowserSignInSheet::handleRedirect);
}

BrowserSignInSheet::~BrowserSignInSheet()
{
    if (dialog_)
        dialog_->finish();
}

SignInWaitDialog* BrowserSignInSheet::dialog() const
{
    return dialog_;
}

void BrowserSignInSheet::close()
{
    if (open_)
        dismiss();
}

void BrowserSignInSheet::begin(QWidget* presenter)
{
    presenter_ = presenter;
    open_ = true;
}

bool BrowserSignInSheet::listen(const QString& message)
{
    if (!listener_.begin(QUrl(redirectUri_).path())) {
        fail(listener_.errorString());
        return false;
    }
    state_ = LoopbackSignIn::newState();

    dialog_ = new SignInWaitDialog(service_, presenter_);
    if (!message.isEmpty())
        dialog_->setMessage(message);
    connect(dialog_, &SignInWaitDialog::cancelled, this, [this] {
        dialog_ = nullptr; // it is closing itself
        close();
    });
    dialog_->open();
    return true;
}

void BrowserSignInSheet::openPage(const QString& address)
{
    const QUrl page(address, QUrl::StrictMode);
    if (!page.isValid()) {
        fail(tr("The %1 sign-in address of this build is not valid.").arg(service_));
        return;
    }
    if (!openBrowser_ || !openBrowser_(page)) {
        qCWarning(log_).noquote() << "webview ERROR!!!!!! the web browser could not be opened";
        dialog_->showAddress(page);
    }
}

void BrowserSignInSheet::fail(const QString& message)
{
    qCWarning(log_).noquote() << message;
    listener_.cancel();
    open_ = false;
    if (!dialog_) {
        dialog_ = new SignInWaitDialog(service_, presenter_);
        dialog_->open();
    }
    dialog_->showProblem(message);
    dialog_ = nullptr; // the user closes it; nothing waits on it any more
    Q_EMIT failed(message);
    Q_EMIT finished();
}

void BrowserSignInSheet::dismiss()
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
