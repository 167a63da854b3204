#include "DropboxWorker.h"

#include "DropboxLog.h"
#include "DropboxSignIn.h"
#include "SizeText.h"

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

DropboxWorker::DropboxWorker(QString appKey, DropboxEndpoints endpoints, DropboxDelays delays,
                             QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent)
    , appKey_(std::move(appKey))
    , endpoints_(std::move(endpoints))
    , delays_(delays)
    , nam_(manager ? manager : new QNetworkAccessManager(this))
    , tokens_(nam_, delays_.transferTimeoutMs, delays_.secondMs, [this] { refreshToken(); })
{
    signIn_ = new DropboxSignIn(nam_, appKey_, endpoints_, delays_, &progress_, this);
    signIn_->setBrowserOpener(openBrowser_);
}

DropboxWorker::~DropboxWorker() = default;

QString DropboxWorker::unavailableMessage()
{
    return DropboxSignIn::unavailableMessage();
}

void DropboxWorker::setBrowserOpener(BrowserOpener opener)
{
    openBrowser_ = std::move(opener);
    signIn_->setBrowserOpener(openBrowser_);
}

void DropboxWorker::authorize(AuthDone done)
{
    signIn_->start([this, done](const DropboxOAuthResult& result, const QJsonObject& answer) {
        if (result.kind == DropboxOAuthResult::Kind::success) {
            tokens_.forget();
            tokens_.take(answer, false);
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
    return tokens_.bearerRequest(QUrl(base.toString(QUrl::StripTrailingSlash) + route));
}

void DropboxWorker::refreshToken()
{
    // Nothing to renew after a sign-out; one renewal at a time.
    if (!tokens_.beginRefresh())
        return;
    QNetworkReply* reply = tokens_.postForm(endpoints_.api.toString(QUrl::StripTrailingSlash) + QStringLiteral("/oauth2/token"),
                                            { { QStringLiteral("grant_type"), QStringLiteral("refresh_token") },
                                              { QStringLiteral("refresh_token"), tokens_.refreshToken() },
                                              { QStringLiteral("client_id"), appKey_ } });
    tokens_.setRefreshReply(reply);
    const quint64 session = tokens_.session();
    connect(reply, &QNetworkReply::finished, this, [this, reply, session] {
        reply->deleteLater();
        if (session != tokens_.session())
            return;
        const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll());
        const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        if (!answered || !doc.isObject()) {
            qCInfo(lcDropbox).noquote() << "refresh dropbox token failed:" << reply->errorString();
            return;
        }
        if (!tokens_.take(doc.object(), true))
            qCInfo(lcDropbox).noquote() << "refresh dropbox token refused:" << doc.object().value(QLatin1String("error")).toString();
    });
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
    QNetworkReply* reply = nam_->post(req, body);
    const quint64 session = tokens_.session();
    connect(reply, &QNetworkReply::finished, this, [this, reply, session, handler] {
        reply->deleteLater();
        Answer answer;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray data = reply->readAll();
        answer.status = status;
        answer.rateLimited = CloudRateLimit::isLimited(reply, data);
        answer.retryAfter = reply->rawHeader("Retry-After");
        if (session != tokens_.session()) {
            answer.error = QStringLiteral("signed out while the request ran");
            answer.rateLimited = false;
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
        spaceInfo_ = QStringLiteral("Used: ") + SizeText::format(used) + QStringLiteral(", Total: ")
                   + SizeText::format(total);
        done(true);
    });
}

struct DropboxWorker::Listing {
    explicit Listing(int maxPages)
        : pages(maxPages)
    {
    }

    CloudPageGuard pages;
    QList<DropboxMetadata> collected;
    ListDone done;
};

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
    auto listing = std::make_shared<Listing>(delays_.maxListingPages);
    listing->done = std::move(done);
    listPage(QStringLiteral("/2/files/list_folder"), args, listing, 0);
}

void DropboxWorker::listFolderContinue(const QString& cursor, ListDone done)
{
    if (!isSignedIn()) {
        later([done] { done({}, false); });
        return;
    }
    auto listing = std::make_shared<Listing>(delays_.maxListingPages);
    listing->done = std::move(done);
    listing->pages.admit(cursor);
    listPage(QStringLiteral("/2/files/list_folder/continue"), QJsonObject{{QStringLiteral("cursor"), cursor}}, listing, 0);
}

// Pages are fetched one after another; the caller hears once, with every entry in page order.
void DropboxWorker::listPage(const QString& route, const QJsonObject& args, std::shared_ptr<Listing> listing,
                             int limited)
{
    rpc(route, &args, [this, route, args, listing, limited](const Answer& a) {
        if (!a.ok && a.rateLimited) {
            if (const std::optional<int> pause = delays_.rateLimit.pause(limited + 1, a.retryAfter)) {
                qCInfo(lcDropbox).noquote() << "the service limits the rate; the page is asked for again";
                QTimer::singleShot(*pause, this, [this, route, args, listing, limited] {
                    listPage(route, args, listing, limited + 1);
                });
                return;
            }
        }
        if (!a.ok) {
            qCInfo(lcDropbox).noquote() << "dropbox error:";
            qCInfo(lcDropbox).noquote() << a.error;
            listing->done(listing->collected, false);
            return;
        }
        const QJsonArray entries = a.json.value(QLatin1String("entries")).toArray();
        for (const QJsonValue& e : entries)
            listing->collected.append(DropboxMetadata::fromJson(e.toObject()));
        if (!a.json.value(QLatin1String("has_more")).toBool()) {
            listing->done(listing->collected, true);
            return;
        }
        const QString cursor = a.json.value(QLatin1String("cursor")).toString();
        if (cursor.isEmpty() || !listing->pages.admit(cursor)) {
            qCInfo(lcDropbox).noquote() << "dropbox error:";
            qCInfo(lcDropbox).noquote() << (cursor.isEmpty() ? QStringLiteral("the listing did not advance")
                                                             : listing->pages.refusal());
            listing->done(listing->collected, false);
            return;
        }
        listPage(QStringLiteral("/2/files/list_folder/continue"), QJsonObject{{QStringLiteral("cursor"), cursor}},
                 listing, 0);
    });
}

void DropboxWorker::getMetadata(const QString& path, MetadataDone done)
{
    if (!isSignedIn()) {
        later([done] { done(std::nullopt, false); });
        return;
    }
    askMetadata(path, std::move(done), 0);
}

void DropboxWorker::askMetadata(const QString& path, MetadataDone done, int limited)
{
    const QJsonObject args{{QStringLiteral("path"), path}, {QStringLiteral("include_media_info"), false}};
    rpc(QStringLiteral("/2/files/get_metadata"), &args, [this, path, done, limited](const Answer& a) {
        if (!a.ok && a.rateLimited) {
            if (const std::optional<int> pause = delays_.rateLimit.pause(limited + 1, a.retryAfter)) {
                qCInfo(lcDropbox).noquote() << "the service limits the rate; the metadata is asked for again";
                QTimer::singleShot(*pause, this, [this, path, done, limited] { askMetadata(path, done, limited + 1); });
                return;
            }
        }
        if (!a.ok) {
            qCInfo(lcDropbox).noquote() << "DropboxWorker getMetadata fail: " + a.error;
            done(std::nullopt, a.status == 401);
            return;
        }
        done(DropboxMetadata::fromJson(a.json), false);
    });
}

QPointer<CloudFileDownload> DropboxWorker::download(const QString& path, const QString& localFile, quint64 listedSize,
                                                    Progress progress, DownloadDone done)
{
    if (!isSignedIn()) {
        later([done] {
            CloudFileDownload::Result result;
            result.error = QNetworkReply::AuthenticationRequiredError;
            result.errorText = tr("Not signed in to Dropbox.");
            done(result);
        });
        return nullptr;
    }
    QNetworkRequest req = request(endpoints_.content, QStringLiteral("/2/files/download"));
    req.setRawHeader("Dropbox-API-Arg", headerSafeJson(QJsonObject{{QStringLiteral("path"), path}}));
    // A POST with a body ignores the read-buffer limit, and the whole file would pile up in
    // memory: send it bodiless instead.
    req.setHeader(QNetworkRequest::ContentLengthHeader, 0);
    return new CloudFileDownload(nam_->sendCustomRequest(req, "POST"), localFile, listedSize, std::move(progress),
                                 std::move(done), this);
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
    tokens_.forget();
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
