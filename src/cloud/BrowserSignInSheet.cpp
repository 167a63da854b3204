#include "BrowserSignInSheet.h"

#include "SignInProgress.h"

#include <QLoggingCategory>
#include <QUrl>

BrowserSignInSheet::BrowserSignInSheet(const QString& service, LogCategory log, const QString& redirectUri,
                                       LoopbackSignIn::BrowserOpener openBrowser, SignInProgress* progress,
                                       QObject* parent)
    : QObject(parent)
    , service_(service)
    , log_(log)
    , redirectUri_(redirectUri)
    , openBrowser_(std::move(openBrowser))
    , listener_(quint16(QUrl(redirectUri).port(LoopbackSignIn::DefaultPort)))
    , progress_(progress)
{
    listener_.setJudge([this](const QUrl& url) { return judge(url); });
    connect(&listener_, &LoopbackSignIn::redirected, this, &BrowserSignInSheet::handleRedirect);
    if (progress_)
        connect(progress_, &SignInProgress::cancelled, this, [this] {
            if (waiting_) {
                waiting_ = false; // the watcher has stopped showing it
                close();
            }
        });
}

BrowserSignInSheet::~BrowserSignInSheet()
{
    endWait();
}

void BrowserSignInSheet::close()
{
    if (open_)
        dismiss();
}

void BrowserSignInSheet::begin()
{
    open_ = true;
}

bool BrowserSignInSheet::listen(const QString& message)
{
    if (!listener_.begin(QUrl(redirectUri_).path())) {
        fail(listener_.errorString());
        return false;
    }
    state_ = LoopbackSignIn::newState();
    waiting_ = true;
    if (progress_)
        progress_->wait(message);
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
        if (progress_ && waiting_)
            progress_->offerAddress(page);
    }
}

void BrowserSignInSheet::fail(const QString& message)
{
    qCWarning(log_).noquote() << message;
    listener_.cancel();
    open_ = false;
    waiting_ = false; // the problem replaces the wait; the user closes it
    if (progress_)
        progress_->fail(message);
    Q_EMIT failed(message);
    Q_EMIT finished();
}

void BrowserSignInSheet::dismiss()
{
    listener_.cancel();
    open_ = false;
    endWait();
    Q_EMIT finished();
}

void BrowserSignInSheet::endWait()
{
    if (!waiting_)
        return;
    waiting_ = false;
    if (progress_)
        progress_->end();
}
