#include "GoogleDriveWorker.h"

#include "CloudReply.h"
#include "CloudTimestamp.h"
#include "GoogleDriveLog.h"
#include "GoogleDrivePopoutWebViewController.h"
#include "JwtPayload.h"
#include "SecretRedaction.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>
#include <utility>

struct GoogleDriveWorker::Listing {
    explicit Listing(int maxPages)
        : pages(maxPages)
    {
    }

    QString folderId;
    QString route;
    QList<CloudItemPtr> items;
    ListCompletion completion;
    CloudPageGuard pages;

    void finish(bool complete)
    {
        ListCompletion call = std::move(completion);
        completion = nullptr;
        if (call)
            call(items, complete);
    }
};

namespace {
const QString kFolderType = QStringLiteral("application/vnd.google-apps.folder");
const QString kFields = QStringLiteral("nextPageToken,files(id,name,mimeType,modifiedTime,size,webContentLink,parents)");

QString encoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}
} // namespace

GoogleDriveWorker::GoogleDriveWorker(const GoogleDriveConstant& constant, const GoogleDriveDelays& delays,
                                     QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent)
    , constant_(constant)
    , delays_(delays)
    , manager_(manager ? manager : new QNetworkAccessManager(this))
    , tokens_(manager_, delays.transferTimeoutMs, delays.secondMs, [this] { refreshToken(); })
{
}

GoogleDriveWorker::~GoogleDriveWorker() = default;

GoogleDrivePopoutWebViewController* GoogleDriveWorker::signInSheet() const
{
    return sheet_;
}

QString GoogleDriveWorker::unavailableReason() const
{
    return isAvailable() ? QString()
                         : tr("Google Drive sign-in is not available in this build of Zorvi: it was built without a "
                              "Google client id and client secret.");
}

void GoogleDriveWorker::login()
{
    if (sheet_)
        sheet_->close();
    auto* sheet = new GoogleDrivePopoutWebViewController(constant_, openBrowser_, &progress_, this);
    sheet->delegate = this;
    pkce_ = PkceCodes::generate();
    sheet->codeChallenge = pkce_.challenge;
    connect(sheet, &GoogleDrivePopoutWebViewController::finished, sheet, &QObject::deleteLater);
    sheet_ = sheet;
    sheet->present();
}

void GoogleDriveWorker::getToken(const QString& code)
{
    // The verifier proves that the code came back to the program that asked for it.
    const QByteArray verifier = std::exchange(pkce_, {}).verifier;
    QList<QPair<QString, QString>> fields {
        { QStringLiteral("client_id"), constant_.clientID },
        { QStringLiteral("redirect_uri"), constant_.redirectUri },
        { QStringLiteral("client_secret"), constant_.clientSecret },
        { QStringLiteral("code"), code },
        { QStringLiteral("grant_type"), QStringLiteral("authorization_code") },
    };
    if (!verifier.isEmpty())
        fields.append({ QStringLiteral("code_verifier"), QString::fromLatin1(verifier) });
    QNetworkReply* reply = tokens_.postForm(constant_.getTokenUrl, fields);
    const quint64 session = tokens_.session();
    connect(reply, &QNetworkReply::finished, this, [this, reply, session] {
        reply->deleteLater();
        const std::optional<QJsonDocument> doc = readTokenAnswer(reply, QString());
        if (!doc || session != tokens_.session() || !doc->isObject()) {
            Q_EMIT GoogleDrive_login(false);
            return;
        }
        const QJsonValue idToken = doc->object().value(QStringLiteral("id_token"));
        if (idToken.isString())
            decodeIdToken(idToken.toString());
        Q_EMIT GoogleDrive_login(tokens_.take(doc->object(), false));
    });
}

void GoogleDriveWorker::refreshToken()
{
    // Nothing to renew after a sign-out; one renewal at a time.
    if (!tokens_.beginRefresh())
        return;
    QNetworkReply* reply = tokens_.postForm(constant_.getTokenUrl, {
        { QStringLiteral("client_id"), constant_.clientID },
        { QStringLiteral("client_secret"), constant_.clientSecret },
        { QStringLiteral("refresh_token"), tokens_.refreshToken() },
        { QStringLiteral("grant_type"), QStringLiteral("refresh_token") },
    });
    tokens_.setRefreshReply(reply);
    const quint64 session = tokens_.session();
    connect(reply, &QNetworkReply::finished, this, [this, reply, session] {
        reply->deleteLater();
        if (session != tokens_.session())
            return;
        if (const auto doc = readTokenAnswer(reply, QStringLiteral("refresh googledrive token: ")))
            tokens_.take(doc->object(), true);
    });
}

std::optional<QJsonDocument> GoogleDriveWorker::readTokenAnswer(QNetworkReply* reply, const QString& prefix)
{
    if (CloudReply::transportFailed(reply)) {
        qCWarning(lcGoogleDrive).noquote() << CloudReply::errorText(reply);
        return std::nullopt;
    }
    const QJsonDocument doc = CloudReply::json(reply->readAll());
    if (doc.isNull()) {
        qCWarning(lcGoogleDrive).noquote() << "the token answer is not JSON";
        return std::nullopt;
    }
    qCInfo(lcGoogleDrive).noquote() << prefix
            + SecretRedaction::json(doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array()));
    return doc;
}

void GoogleDriveWorker::decodeIdToken(const QString& idToken)
{
    const std::optional<QJsonObject> payload = JwtPayload::decode(idToken);
    if (!payload)
        return;
    qCInfo(lcGoogleDrive).noquote() << "identity token with the claims" << payload->keys().join(QStringLiteral(", "));
    const QJsonValue email = payload->value(QStringLiteral("email"));
    if (email.isString())
        email_ = email.toString();
    const QJsonValue picture = payload->value(QStringLiteral("picture"));
    if (picture.isString())
        photoUrl_ = picture.toString();
}

void GoogleDriveWorker::logout(BoolCompletion done)
{
    const QString revoked = tokens_.token();
    email_.clear();
    photoUrl_.clear();
    tokens_.forget();
    if (sheet_)
        sheet_->close();

    if (revoked.isEmpty()) {
        CloudReply::later(this, [done] {
            if (done)
                done(true);
        });
        return;
    }
    QNetworkReply* reply = tokens_.postForm(constant_.logoutUrl, { { QStringLiteral("token"), revoked } });
    connect(reply, &QNetworkReply::finished, this, [reply, done] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool ok = !CloudReply::transportFailed(reply) && status >= 200 && status < 300;
        if (ok)
            qCInfo(lcGoogleDrive).noquote() << "logout success";
        else
            qCWarning(lcGoogleDrive).noquote() << QStringLiteral("logout fail: ") + CloudReply::errorText(reply);
        if (done)
            done(ok);
    });
}

QUrl GoogleDriveWorker::listingUrl(const QString& folderId, const QString& pageToken) const
{
    QString quotedId = folderId;
    quotedId.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    const QString q = folderId.isEmpty() ? QStringLiteral("'root' in parents and trashed=false")
                                         : QLatin1Char('\'') + quotedId + QStringLiteral("' in parents and trashed=false");
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("pageSize"), QStringLiteral("1000"));
    if (!pageToken.isEmpty())
        query.addQueryItem(QStringLiteral("pageToken"), encoded(pageToken));
    query.addQueryItem(QStringLiteral("fields"), encoded(kFields));
    query.addQueryItem(QStringLiteral("q"), encoded(q));
    QUrl url(constant_.endpoint, QUrl::StrictMode);
    url.setQuery(query);
    return url;
}

void GoogleDriveWorker::listFolder(const QString& folderId, const QString& route, ListCompletion completion)
{
    auto listing = std::make_shared<Listing>(delays_.maxListingPages);
    listing->folderId = folderId;
    listing->route = route;
    listing->completion = std::move(completion);
    fetchPage(listing, QString(), 0);
}

void GoogleDriveWorker::listFolderContinue(const QString& pageToken, const QString& route, const QString& folderId,
                                           ListCompletion completion)
{
    auto listing = std::make_shared<Listing>(delays_.maxListingPages);
    listing->folderId = folderId;
    listing->route = route;
    listing->completion = std::move(completion);
    listing->pages.admit(pageToken);
    fetchPage(listing, pageToken, 0);
}

bool GoogleDriveWorker::takePage(const QJsonDocument& doc, Listing& listing)
{
    const QJsonValue files = doc.object().value(QStringLiteral("files"));
    if (!files.isArray())
        return false;
    for (const QJsonValue& file : files.toArray()) {
        if (!file.isObject())
            continue;
        if (CloudItemPtr item = parseItem(file.toObject(), listing.route, listing.folderId.isEmpty()))
            listing.items.append(item);
    }
    return true;
}

void GoogleDriveWorker::fetchPage(std::shared_ptr<Listing> listing, const QString& pageToken, int limited)
{
    const QUrl url = listingUrl(listing->folderId, pageToken);
    if (!url.isValid()) {
        qCWarning(lcGoogleDrive).noquote() << "--" << "the listing address is not valid";
        CloudReply::later(this, [listing] { listing->finish(false); });
        return;
    }
    QNetworkReply* reply = manager_->get(tokens_.bearerRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply, listing, pageToken, limited] {
        reply->deleteLater();
        if (CloudReply::transportFailed(reply)) {
            qCWarning(lcGoogleDrive).noquote() << "--" << CloudReply::errorText(reply);
            listing->finish(false);
            return;
        }
        const QByteArray body = reply->readAll();
        const QJsonDocument doc = CloudReply::json(body);
        qCDebug(lcGoogleDrive).noquote() << SecretRedaction::json(doc.object());
        if (takePage(doc, *listing)) {
            const QJsonValue next = doc.object().value(QStringLiteral("nextPageToken"));
            if (!next.isString()) {
                listing->finish(true);
            } else if (!listing->pages.admit(next.toString())) {
                qCWarning(lcGoogleDrive).noquote() << listing->pages.refusal() << listing->route;
                listing->finish(false);
            } else {
                fetchPage(listing, next.toString(), 0);
            }
            return;
        }
        const QString message =
            doc.object().value(QStringLiteral("error")).toObject().value(QStringLiteral("message")).toString();
        if (!CloudRateLimit::isLimited(reply, body) && !message.contains(QLatin1String("User Rate Limit Exceeded"))) {
            qCWarning(lcGoogleDrive).noquote()
                << (doc.isNull() ? QStringLiteral("the listing answer is not JSON") : SecretRedaction::json(doc.object()));
            listing->finish(false);
            return;
        }
        const std::optional<int> pause = delays_.rateLimit.pause(limited + 1, reply->rawHeader("Retry-After"));
        if (!pause) {
            qCWarning(lcGoogleDrive).noquote() << "the service keeps limiting the rate; giving up on" << listing->route;
            listing->finish(false);
            return;
        }
        qCInfo(lcGoogleDrive).noquote() << QStringLiteral("retry: ") + listing->route;
        QTimer::singleShot(*pause, this,
                           [this, listing, pageToken, limited] { fetchPage(listing, pageToken, limited + 1); });
    });
}

QNetworkReply* GoogleDriveWorker::downloadRequest(const QString& fileId)
{
    if (fileId.isEmpty())
        return nullptr;
    const QUrl url(constant_.endpoint + QLatin1Char('/') + encoded(fileId) + QStringLiteral("?alt=media"),
                   QUrl::StrictMode);
    if (!url.isValid())
        return nullptr;
    return manager_->get(tokens_.bearerRequest(url));
}

void GoogleDriveWorker::getFile(const QString& fileId, ItemCompletion completion)
{
    QUrl url(constant_.endpoint + QLatin1Char('/') + encoded(fileId), QUrl::StrictMode);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("fields"), encoded(QStringLiteral("id,name,mimeType,modifiedTime,size")));
    url.setQuery(query);
    if (fileId.isEmpty() || !url.isValid()) {
        qCWarning(lcGoogleDrive).noquote() << "--" << "the file's address is not valid";
        CloudReply::later(this, [completion] { completion(nullptr, false); });
        return;
    }
    fetchFile(url, std::move(completion), 0);
}

void GoogleDriveWorker::fetchFile(const QUrl& url, ItemCompletion completion, int limited)
{
    QNetworkReply* reply = manager_->get(tokens_.bearerRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply, url, completion, limited] {
        reply->deleteLater();
        if (CloudReply::transportFailed(reply)) {
            qCWarning(lcGoogleDrive).noquote() << "--" << CloudReply::errorText(reply);
            completion(nullptr, false);
            return;
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        const QJsonDocument doc = CloudReply::json(body);
        if (status >= 200 && status < 300 && doc.isObject()) {
            // A document native to the service has no content to size: no item.
            completion(parseItem(doc.object(), QString(), true), false);
            return;
        }
        if (CloudRateLimit::isLimited(reply, body)) {
            if (const std::optional<int> pause = delays_.rateLimit.pause(limited + 1, reply->rawHeader("Retry-After"))) {
                qCInfo(lcGoogleDrive).noquote() << "the service limits the rate; the file is asked for again";
                QTimer::singleShot(*pause, this,
                                   [this, url, completion, limited] { fetchFile(url, completion, limited + 1); });
                return;
            }
        }
        qCWarning(lcGoogleDrive).noquote()
            << (doc.isNull() ? QStringLiteral("the file answer is not JSON") : SecretRedaction::json(doc.object()));
        completion(nullptr, status == 401);
    });
}

CloudItemPtr GoogleDriveWorker::parseItem(const QJsonObject& object, const QString& route, bool root)
{
    const QString name = object.value(QStringLiteral("name")).toString();
    const QString mimeType = object.value(QStringLiteral("mimeType")).toString();
    const QString type = mimeType == kFolderType ? QStringLiteral("folder") : QStringLiteral("file");
    const QJsonValue sizeValue = object.value(QStringLiteral("size"));
    if (type == QLatin1String("file")) {
        // Documents native to the service have no content to download.
        if (mimeType.contains(QLatin1String("vnd.google-apps")))
            return nullptr;
        bool parsed = false;
        const quint64 stated = sizeValue.toString().toULongLong(&parsed);
        if (name == QLatin1String("Untitled") && sizeValue.isString() && parsed && stated == 0)
            return nullptr;
    }
    const QString id = object.value(QStringLiteral("id")).toString();
    const quint64 size = sizeValue.isString() ? sizeValue.toString().toULongLong() : 0;
    const QString downloadPath = object.value(QStringLiteral("webContentLink")).toString();

    QString path;
    const QJsonArray parents = object.value(QStringLiteral("parents")).toArray();
    const bool parentsAreTexts =
        !parents.isEmpty() && std::all_of(parents.begin(), parents.end(), [](const QJsonValue& v) { return v.isString(); });
    if (parentsAreTexts)
        path = (root ? QString() : parents.first().toString()) + QLatin1Char('/') + name;

    QString routeName = name;
    routeName.replace(QLatin1Char('/'), QLatin1Char(':'));
    const QString googleRoute = route + QLatin1Char('/') + routeName;
    qCDebug(lcGoogleDrive).noquote() << googleRoute;

    const QString date = CloudTimestamp::displayText(object.value(QStringLiteral("modifiedTime")).toString());
    return std::make_shared<CloudItemClass>(name, path, type, id, size, date, downloadPath, googleRoute);
}
