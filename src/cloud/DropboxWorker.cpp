#include "DropboxWorker.h"

#include "DropboxDefaults.h"
#include "DropboxDownload.h"
#include "DropboxLog.h"
#include "DropboxSignIn.h"
#include "UtilityFunctions.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QTimer>

namespace {

// Header values must be ASCII: everything from DEL up goes as a JSON \u escape.
QByteArray headerSafeJson(const QJsonObject& o)
{
    const QString text = QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    QByteArray out;
    for (const QChar c : text) {
        if (c.unicode() < 0x7f)
            out += char(c.unicode());
        else
            out += "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    }
    return out;
}

} // namespace

DropboxWorker::DropboxWorker(QString appKey, DropboxEndpoints endpoints, DropboxDelays delays, QObject* parent)
    : QObject(parent)
    , appKey_(std::move(appKey))
    , endpoints_(std::move(endpoints))
    , delays_(delays)
    , openBrowser_([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    signIn_ = new DropboxSignIn(&nam_, appKey_, endpoints_, delays_, this);
    signIn_->setBrowserOpener(openBrowser_);
}

DropboxWorker::~DropboxWorker() = default;

DropboxWorker& DropboxWorker::shared()
{
    // Lives as long as the process, like the session it holds.
    static DropboxWorker* worker = new DropboxWorker(DropboxDefaults::appKey(), DropboxDefaults::endpoints());
    return *worker;
}

QString DropboxWorker::unavailableMessage()
{
    return DropboxSignIn::unavailableMessage();
}

void DropboxWorker::setBrowserOpener(BrowserOpener opener)
{
    openBrowser_ = std::move(opener);
    signIn_->setBrowserOpener(openBrowser_);
}

void DropboxWorker::authorizeFromController(QWidget* controller, AuthDone done)
{
    signIn_->start(controller, [this, done](const DropboxOAuthResult& result, const QByteArray& token) {
        if (result.kind == DropboxOAuthResult::Kind::success) {
            accessToken_ = token;
            ++session_;
        }
        done(result);
    });
}

void DropboxWorker::cancelAuthorization()
{
    signIn_->cancel();
}

bool DropboxWorker::isAuthorizing() const
{
    return signIn_->isPending();
}

QNetworkRequest DropboxWorker::request(const QUrl& base, const QString& route) const
{
    QNetworkRequest req(QUrl(base.toString(QUrl::StripTrailingSlash) + route));
    req.setTransferTimeout(delays_.transferTimeoutMs);
    // The bearer token goes to the configured hosts only, never where a redirect points.
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    req.setRawHeader("Authorization", "Bearer " + accessToken_);
    return req;
}

void DropboxWorker::later(std::function<void()> f)
{
    QTimer::singleShot(0, this, std::move(f));
}

void DropboxWorker::rpc(const QString& route, const QJsonObject* args, AnswerHandler handler)
{
    QNetworkRequest req = request(endpoints_.api, route);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    // Routes without arguments take the JSON null.
    const QByteArray body = args ? QJsonDocument(*args).toJson(QJsonDocument::Compact) : QByteArrayLiteral("null");
    QNetworkReply* reply = nam_.post(req, body);
    const quint64 session = session_;
    connect(reply, &QNetworkReply::finished, this, [this, reply, session, handler] {
        reply->deleteLater();
        Answer answer;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray data = reply->readAll();
        if (session != session_) {
            answer.error = QStringLiteral("signed out while the request ran");
        } else if (status >= 200 && status < 300) {
            QJsonParseError parseError;
            const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
            answer.ok = doc.isObject();
            answer.json = doc.object();
            if (!answer.ok)
                answer.error = QStringLiteral("unreadable answer: ") + parseError.errorString();
        } else if (status != 0) {
            const QString summary = QJsonDocument::fromJson(data).object().value(QLatin1String("error_summary")).toString();
            answer.error = QStringLiteral("HTTP %1 %2").arg(status).arg(summary.isEmpty() ? QString::fromUtf8(data.left(200)) : summary);
        } else {
            answer.error = reply->errorString();
        }
        handler(answer);
    });
}

void DropboxWorker::getUserInfo(Done done)
{
    if (!isSignedIn()) {
        later([done] { done(false); });
        return;
    }
    rpc(QStringLiteral("/2/users/get_current_account"), nullptr, [this, done](const Answer& a) {
        if (!a.ok) {
            qCInfo(lcDropbox).noquote() << "DropboxWorker getUserInfo fail: " + a.error;
            done(false);
            return;
        }
        email_ = a.json.value(QLatin1String("email")).toString();
        photo_ = a.json.value(QLatin1String("profile_photo_url")).toString();
        done(true);
    });
}

void DropboxWorker::getUserSpace(Done done)
{
    if (!isSignedIn()) {
        later([done] { done(false); });
        return;
    }
    rpc(QStringLiteral("/2/users/get_space_usage"), nullptr, [this, done](const Answer& a) {
        if (!a.ok) {
            qCInfo(lcDropbox).noquote() << "DropboxWorker getUserSpace fail: " + a.error;
            done(false);
            return;
        }
        const QJsonObject allocation = a.json.value(QLatin1String("allocation")).toObject();
        const QString kind = allocation.value(QLatin1String(".tag")).toString();
        // A team account shows the whole team's space, not the user's share of it.
        if (kind != QLatin1String("individual") && kind != QLatin1String("team")) {
            qCInfo(lcDropbox).noquote() << "unknown user type; update your SDK";
            done(false);
            return;
        }
        const qint64 used = a.json.value(QLatin1String("used")).toInteger();
        const qint64 total = allocation.value(QLatin1String("allocated")).toInteger();
        spaceInfo_ = QStringLiteral("Used: ") + UtilityFunctions::formatSize(used) + QStringLiteral(", Total: ")
                   + UtilityFunctions::formatSize(total);
        done(true);
    });
}

void DropboxWorker::listFolder(const QString& path, ListDone done)
{
    if (!isSignedIn()) {
        later([done] { done({}, false); });
        return;
    }
    const QJsonObject args{
        {QStringLiteral("path"), path == QLatin1String("/") ? QString() : path},
        {QStringLiteral("recursive"), false},
        {QStringLiteral("include_media_info"), false},
        {QStringLiteral("include_deleted"), false},
        {QStringLiteral("include_has_explicit_shared_members"), false},
        {QStringLiteral("include_mounted_folders"), true},
        {QStringLiteral("include_non_downloadable_files"), true},
    };
    listPage(QStringLiteral("/2/files/list_folder"), args, {}, std::move(done));
}

void DropboxWorker::listFolderContinue(const QString& cursor, ListDone done)
{
    if (!isSignedIn()) {
        later([done] { done({}, false); });
        return;
    }
    listPage(QStringLiteral("/2/files/list_folder/continue"), QJsonObject{{QStringLiteral("cursor"), cursor}}, {},
             std::move(done));
}

// Pages are fetched one after another; the caller hears once, with every entry in page order.
void DropboxWorker::listPage(const QString& route, const QJsonObject& args, QList<DropboxMetadata> collected,
                             ListDone done)
{
    rpc(route, &args, [this, args, collected, done](const Answer& a) mutable {
        if (!a.ok) {
            qCInfo(lcDropbox).noquote() << "dropbox error:";
            qCInfo(lcDropbox).noquote() << a.error;
            done(collected, false);
            return;
        }
        const QJsonArray entries = a.json.value(QLatin1String("entries")).toArray();
        for (const QJsonValue& e : entries)
            collected.append(DropboxMetadata::fromJson(e.toObject()));
        if (!a.json.value(QLatin1String("has_more")).toBool()) {
            done(collected, true);
            return;
        }
        const QString cursor = a.json.value(QLatin1String("cursor")).toString();
        if (cursor.isEmpty() || cursor == args.value(QLatin1String("cursor")).toString()) {
            qCInfo(lcDropbox).noquote() << "dropbox error:";
            qCInfo(lcDropbox).noquote() << "the listing did not advance";
            done(collected, false);
            return;
        }
        listPage(QStringLiteral("/2/files/list_folder/continue"), QJsonObject{{QStringLiteral("cursor"), cursor}},
                 collected, done);
    });
}

QPointer<DropboxDownload> DropboxWorker::download(const QString& path, const QString& localFile, Progress progress,
                                                  DownloadDone done)
{
    if (!isSignedIn()) {
        later([done] { done(false, tr("Not signed in to Dropbox.")); });
        return nullptr;
    }
    QNetworkRequest req = request(endpoints_.content, QStringLiteral("/2/files/download"));
    req.setRawHeader("Dropbox-API-Arg", headerSafeJson(QJsonObject{{QStringLiteral("path"), path}}));
    return new DropboxDownload(&nam_, req, localFile, std::move(progress), std::move(done), this);
}

void DropboxWorker::logout()
{
    email_.clear();
    unlinkClients();
    openLogoutPage();
}

void DropboxWorker::unlinkClients()
{
    signIn_->cancel();
    accessToken_.clear();
    ++session_;
}

QUrl DropboxWorker::logoutUrl() const
{
    return QUrl(endpoints_.web.toString(QUrl::StripTrailingSlash) + QStringLiteral("/logout"));
}

void DropboxWorker::openLogoutPage()
{
    if (openBrowser_)
        openBrowser_(logoutUrl());
}
