#include "DropboxSignIn.h"

#include "CloudTokenSession.h"
#include "DropboxLog.h"
#include "LoopbackSignIn.h"
#include "SignInProgress.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrlQuery>

DropboxSignIn::DropboxSignIn(QNetworkAccessManager* nam, QString appKey, DropboxEndpoints endpoints,
                             DropboxDelays delays, SignInProgress* progress, QObject* parent)
    : QObject(parent)
    , nam_(nam)
    , appKey_(std::move(appKey))
    , endpoints_(std::move(endpoints))
    , delays_(delays)
    , progress_(progress)
{
    loopback_ = new LoopbackSignIn(endpoints_.loopbackPort, this);
    loopback_->setJudge([this](const QUrl& url) {
        return isOurAnswer(url) ? LoopbackSignIn::Verdict::accepted : LoopbackSignIn::Verdict::refused;
    });
    connect(loopback_, &LoopbackSignIn::redirected, this, &DropboxSignIn::onRedirected);
    if (progress_)
        connect(progress_, &SignInProgress::cancelled, this, &DropboxSignIn::cancel);
}

DropboxSignIn::~DropboxSignIn()
{
    // Nobody is left to hear how it ended.
    done_ = nullptr;
    if (exchange_) {
        exchange_->disconnect(this);
        exchange_->abort();
    }
    if (progress_)
        progress_->end();
}

void DropboxSignIn::start(Done done)
{
    if (isPending())
        finish(DropboxOAuthResult::cancelled());
    done_ = std::move(done);

    // A sign-in that cannot start says why, where its wait would have shown.
    const auto fail = [this](const QString& error) {
        if (progress_)
            progress_->fail(error);
        QTimer::singleShot(0, this, [this, error] { finish(DropboxOAuthResult::error(error)); });
    };
    if (appKey_.isEmpty())
        return fail(unavailableMessage());
    if (!loopback_->begin(endpoints_.redirectPath))
        return fail(loopback_->errorString());
    codes_ = PkceCodes::generate();
    state_ = PkceCodes::randomUrlSafe(16);
    redirectUri_ = loopback_->redirectUri();

    QUrl authorize(endpoints_.web.toString(QUrl::StripTrailingSlash) + QStringLiteral("/oauth2/authorize"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("client_id"), appKey_);
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("redirect_uri"), QString::fromUtf8(QUrl::toPercentEncoding(redirectUri_.toString())));
    query.addQueryItem(QStringLiteral("state"), QString::fromLatin1(state_));
    query.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(codes_.challenge));
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    // A token that can be renewed: a download may outlast the access token's few hours.
    query.addQueryItem(QStringLiteral("token_access_type"), QStringLiteral("offline"));
    authorize.setQuery(query);

    if (progress_)
        progress_->wait();
    if (!openBrowser_ || !openBrowser_(authorize)) {
        qCWarning(lcDropbox) << "Dropbox sign-in: the web browser could not be opened";
        if (progress_)
            progress_->offerAddress(authorize);
    }
}

QString DropboxSignIn::unavailableMessage()
{
    return tr("Dropbox sign-in is not available in this build: it was built without a Dropbox app key.");
}

void DropboxSignIn::cancel()
{
    if (isPending())
        finish(DropboxOAuthResult::cancelled());
}

bool DropboxSignIn::isOurAnswer(const QUrl& url) const
{
    // Only the browser we sent, carrying our state, may finish the sign-in.
    const bool ours = isPending() && !exchange_ && !state_.isEmpty()
        && QUrlQuery(url).queryItemValue(QStringLiteral("state")).toLatin1() == state_;
    if (!ours)
        qCInfo(lcDropbox) << "Dropbox sign-in: refused a redirect without the expected state";
    return ours;
}

void DropboxSignIn::onRedirected(const QUrl& url)
{
    const QUrlQuery query(url);
    if (!isOurAnswer(url))
        return;
    loopback_->cancel();
    const QString error = query.queryItemValue(QStringLiteral("error"));
    if (error == QLatin1String("access_denied"))
        return finish(DropboxOAuthResult::cancelled());
    if (!error.isEmpty()) {
        const QString description = query.queryItemValue(QStringLiteral("error_description"), QUrl::FullyDecoded);
        return finish(DropboxOAuthResult::error(description.isEmpty() ? error : description));
    }
    const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    if (code.isEmpty())
        return finish(DropboxOAuthResult::error(tr("Dropbox did not send an authorization code.")));
    exchange(code);
}

void DropboxSignIn::exchange(const QString& code)
{
    QNetworkRequest req = CloudTokenSession::pinnedRequest(
        QUrl(endpoints_.api.toString(QUrl::StripTrailingSlash) + QStringLiteral("/oauth2/token")), delays_.transferTimeoutMs);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QUrlQuery form;
    const auto add = [&form](const QString& name, const QString& value) {
        form.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    };
    add(QStringLiteral("code"), code);
    add(QStringLiteral("grant_type"), QStringLiteral("authorization_code"));
    add(QStringLiteral("client_id"), appKey_);
    add(QStringLiteral("redirect_uri"), redirectUri_.toString());
    add(QStringLiteral("code_verifier"), QString::fromLatin1(codes_.verifier));
    exchange_ = nam_->post(req, form.toString(QUrl::FullyEncoded).toLatin1());
    connect(exchange_, &QNetworkReply::finished, this, [this, reply = exchange_.data()] {
        reply->deleteLater();
        exchange_ = nullptr;
        const QJsonObject json = QJsonDocument::fromJson(reply->readAll()).object();
        const QString token = json.value(QLatin1String("access_token")).toString();
        if (reply->error() == QNetworkReply::NoError && !token.isEmpty())
            return finish(DropboxOAuthResult::success(json.value(QLatin1String("account_id")).toString()), json);
        QString error = json.value(QLatin1String("error_description")).toString();
        if (error.isEmpty())
            error = json.value(QLatin1String("error")).toString();
        if (error.isEmpty())
            error = reply->errorString();
        finish(DropboxOAuthResult::error(tr("Dropbox refused the sign-in: %1").arg(error)));
    });
}

void DropboxSignIn::finish(const DropboxOAuthResult& result, const QJsonObject& tokens)
{
    if (!done_)
        return;
    loopback_->cancel();
    if (exchange_) {
        exchange_->disconnect(this);
        exchange_->abort();
        exchange_->deleteLater();
        exchange_ = nullptr;
    }
    if (progress_)
        progress_->end();
    codes_ = {};
    state_.clear();
    Done done = std::move(done_);
    done_ = nullptr;
    done(result, tokens);
}
