#include "OneDriveWorker.h"

#include "CloudReply.h"
#include "CloudTimestamp.h"
#include "OneDriveLog.h"
#include "OneDrivePopoutWebViewController.h"
#include "SecretRedaction.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <utility>

struct OneDriveWorker::Listing {
    explicit Listing(int maxPages)
        : pages(maxPages)
    {
    }

    CloudPageGuard pages;
    QList<CloudItemPtr> folders;
    QList<CloudItemPtr> files;
    ListCompletion completion;

    void finish(bool complete)
    {
        ListCompletion call = std::move(completion);
        completion = nullptr;
        if (call)
            call(folders, files, complete);
    }
};

OneDriveWorker::OneDriveWorker(const OneDriveConstant& constant, const OneDriveDelays& delays,
                               QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent)
    , constant_(constant)
    , delays_(delays)
    , manager_(manager ? manager : new QNetworkAccessManager(this))
    , tokens_(manager_, delays.transferTimeoutMs, delays.secondMs, [this] { refreshToken(); })
{
}

OneDriveWorker::~OneDriveWorker() = default;

OneDrivePopoutWebViewController* OneDriveWorker::signInSheet() const
{
    return sheet_;
}

QString OneDriveWorker::unavailableReason() const
{
    return isAvailable() ? QString()
                         : tr("OneDrive sign-in is not available in this build of Zorvi: it was built without a "
                              "OneDrive client id.");
}

void OneDriveWorker::login()
{
    showSheet(QStringLiteral("login"));
}

void OneDriveWorker::logout()
{
    forgetSession();
    showSheet(QStringLiteral("logout"));
}

void OneDriveWorker::forgetSession()
{
    email_.clear();
    image_.clear();
    tokens_.forget();
}

void OneDriveWorker::showSheet(const QString& operation)
{
    if (sheet_)
        sheet_->close();
    auto* sheet = new OneDrivePopoutWebViewController(constant_, openBrowser_, &progress_, this);
    sheet->delegate = this;
    sheet->operation = operation;
    pkce_ = PkceCodes::generate();
    sheet->codeChallenge = pkce_.challenge;
    connect(sheet, &OneDrivePopoutWebViewController::finished, sheet, &QObject::deleteLater);
    sheet_ = sheet;
    sheet->present();
}

QNetworkRequest OneDriveWorker::graphRequest(const QUrl& url) const
{
    return tokens_.bearerRequest(url);
}

QNetworkReply* OneDriveWorker::postTokenForm(const QString& grantField, const QString& grantValue,
                                             const QString& grantType, const QByteArray& verifier)
{
    QList<QPair<QString, QString>> fields {
        { QStringLiteral("client_id"), constant_.clientID },
        { QStringLiteral("redirect_uri"), constant_.redirectUri },
    };
    if (!constant_.clientSecret.isEmpty())
        fields.append({ QStringLiteral("client_secret"), constant_.clientSecret });
    fields.append({ grantField, grantValue });
    fields.append({ QStringLiteral("grant_type"), grantType });
    if (!verifier.isEmpty())
        fields.append({ QStringLiteral("code_verifier"), QString::fromLatin1(verifier) });
    return tokens_.postForm(constant_.getTokenUrl, fields);
}

void OneDriveWorker::getToken(const QString& code)
{
    // The verifier proves that the code came back to the program that asked for it.
    QNetworkReply* reply = postTokenForm(QStringLiteral("code"), code, QStringLiteral("authorization_code"),
                                         std::exchange(pkce_, {}).verifier);
    const quint64 session = tokens_.session();
    connect(reply, &QNetworkReply::finished, this, [this, reply, session] {
        reply->deleteLater();
        const bool stored = session == tokens_.session() && takeTokenReply(reply, false);
        Q_EMIT OneDrive_login(stored);
    });
}

void OneDriveWorker::refreshToken()
{
    // Nothing to renew after a sign-out; one renewal at a time.
    if (!tokens_.beginRefresh())
        return;
    QNetworkReply* reply =
        postTokenForm(QStringLiteral("refresh_token"), tokens_.refreshToken(), QStringLiteral("refresh_token"));
    tokens_.setRefreshReply(reply);
    const quint64 session = tokens_.session();
    connect(reply, &QNetworkReply::finished, this, [this, reply, session] {
        reply->deleteLater();
        if (session == tokens_.session())
            takeTokenReply(reply, true);
    });
}

bool OneDriveWorker::takeTokenReply(QNetworkReply* reply, bool refresh)
{
    if (CloudReply::transportFailed(reply)) {
        qCWarning(lcOneDrive).noquote() << CloudReply::errorText(reply);
        return false;
    }
    const QJsonDocument doc = CloudReply::json(reply->readAll());
    if (refresh) {
        qCInfo(lcOneDrive).noquote() << QStringLiteral("refresh onedrive token: ")
                + (doc.isNull() ? QStringLiteral("(not JSON)") : SecretRedaction::json(doc.object()));
    }
    return doc.isObject() && tokens_.take(doc.object(), refresh);
}

void OneDriveWorker::getUserInfo(BoolCompletion completion)
{
    QNetworkReply* reply = manager_->get(graphRequest(QUrl(constant_.endpoint)));
    connect(reply, &QNetworkReply::finished, this, [this, reply, completion] {
        reply->deleteLater();
        if (CloudReply::transportFailed(reply)) {
            qCWarning(lcOneDrive).noquote() << CloudReply::errorText(reply);
            if (completion)
                completion(false);
            return;
        }
        const QJsonObject object = CloudReply::json(reply->readAll()).object();
        const QJsonValue mail = object.value(QStringLiteral("mail"));
        const QJsonValue principal = object.value(QStringLiteral("userPrincipalName"));
        bool stored = true;
        if (mail.isString())
            email_ = mail.toString();
        else if (principal.isString())
            email_ = principal.toString();
        else
            stored = false;
        if (completion)
            completion(stored);
    });
}

void OneDriveWorker::getUserPhoto(BoolCompletion completion)
{
    QNetworkRequest request = graphRequest(QUrl(constant_.endpoint + QStringLiteral("/photo/$value")));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply* reply = manager_->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, completion] {
        reply->deleteLater();
        if (CloudReply::transportFailed(reply)) {
            qCWarning(lcOneDrive).noquote() << CloudReply::errorText(reply);
            if (completion)
                completion(false);
            return;
        }
        // A JSON error body is no picture: whoever shows it finds none in it.
        image_ = reply->readAll();
        if (completion)
            completion(true);
    });
}

void OneDriveWorker::listFolder(const QString& folderId, ListCompletion completion)
{
    const QString path = folderId.isEmpty()
        ? QStringLiteral("/drive/root/children")
        : QStringLiteral("/drive/items/") + QString::fromLatin1(QUrl::toPercentEncoding(folderId)) + QStringLiteral("/children");
    startListing(QUrl(constant_.endpoint + path, QUrl::StrictMode), std::move(completion), false);
}

void OneDriveWorker::listFolderContinue(const QUrl& nextLink, ListCompletion completion)
{
    startListing(nextLink, std::move(completion), true);
}

void OneDriveWorker::startListing(const QUrl& url, ListCompletion completion, bool continued)
{
    auto listing = std::make_shared<Listing>(delays_.maxListingPages);
    listing->completion = std::move(completion);
    if (!url.isValid() || url.isRelative()) {
        qCWarning(lcOneDrive).noquote() << "cannot list: not a valid address:" << url.toString();
        CloudReply::later(this, [listing] { listing->finish(false); });
        return;
    }
    if (continued)
        listing->pages.admit(url.toString());
    fetchPage(url, listing, 0);
}

bool OneDriveWorker::sameOrigin(const QUrl& url) const
{
    const QUrl graph(constant_.endpoint);
    return url.scheme() == graph.scheme() && url.host().compare(graph.host(), Qt::CaseInsensitive) == 0
        && url.port(-1) == graph.port(-1);
}

void OneDriveWorker::fetchPage(const QUrl& url, std::shared_ptr<Listing> listing, int limited)
{
    QNetworkReply* reply = manager_->get(graphRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply, url, listing, limited] {
        reply->deleteLater();
        if (CloudReply::transportFailed(reply)) {
            qCWarning(lcOneDrive).noquote() << CloudReply::errorText(reply);
            listing->finish(false);
            return;
        }
        const QByteArray body = reply->readAll();
        if (CloudRateLimit::isLimited(reply, body)) {
            const std::optional<int> pause = delays_.rateLimit.pause(limited + 1, reply->rawHeader("Retry-After"));
            if (pause) {
                qCInfo(lcOneDrive).noquote() << "the service limits the rate; the page is asked for again";
                QTimer::singleShot(*pause, this, [this, url, listing, limited] { fetchPage(url, listing, limited + 1); });
                return;
            }
            qCWarning(lcOneDrive).noquote() << "the service keeps limiting the rate; the listing stops";
            listing->finish(false);
            return;
        }
        const QJsonDocument doc = CloudReply::json(body);
        const QJsonValue value = doc.object().value(QStringLiteral("value"));
        bool allObjects = value.isArray();
        for (const QJsonValue& element : value.toArray())
            allObjects = allObjects && element.isObject();
        if (!doc.isObject() || !allObjects) {
            qCWarning(lcOneDrive).noquote()
                << (doc.isNull() ? QString::fromUtf8(body.left(2048)) : SecretRedaction::json(doc.object()));
            listing->finish(false);
            return;
        }
        for (const QJsonValue& element : value.toArray()) {
            CloudItemPtr item = parseItem(element.toObject());
            if (item->isFolder())
                listing->folders.append(item);
            else if (!item->downloadPath.isEmpty())
                listing->files.append(item);
        }
        const QJsonValue next = doc.object().value(QStringLiteral("@odata.nextLink"));
        if (!next.isString()) {
            listing->finish(true);
            return;
        }
        const QUrl nextUrl(next.toString(), QUrl::StrictMode);
        if (!nextUrl.isValid() || !sameOrigin(nextUrl)) {
            // Our token is for the Graph host only.
            qCWarning(lcOneDrive).noquote() << "next page not followed: it is not on the service's host:"
                                            << nextUrl.host();
            listing->finish(false);
            return;
        }
        if (!listing->pages.admit(nextUrl.toString())) {
            qCWarning(lcOneDrive).noquote() << listing->pages.refusal();
            listing->finish(false);
            return;
        }
        fetchPage(nextUrl, listing, 0);
    });
}

void OneDriveWorker::getItemInfo(const CloudItemPtr& item, TextCompletion completion)
{
    getItem(item, [completion](const CloudItemPtr& current) {
        if (completion)
            completion(current ? current->downloadPath : QString());
    });
}

void OneDriveWorker::getItem(const CloudItemPtr& item, ItemCompletion completion)
{
    if (!item) {
        CloudReply::later(this, [completion] {
            if (completion)
                completion(nullptr);
        });
        return;
    }
    fetchItem(item, std::move(completion), 0, 0);
}

void OneDriveWorker::fetchItem(const CloudItemPtr& item, ItemCompletion completion, int round, int limited)
{
    const QUrl url(constant_.endpoint + QStringLiteral("/drive/items/")
                       + QString::fromLatin1(QUrl::toPercentEncoding(item->id)),
                   QUrl::StrictMode);
    QNetworkReply* reply = manager_->get(graphRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply, item, completion, round, limited] {
        reply->deleteLater();
        const auto done = [&completion](const CloudItemPtr& current) {
            if (completion)
                completion(current);
        };
        if (CloudReply::transportFailed(reply)) {
            qCWarning(lcOneDrive).noquote() << CloudReply::errorText(reply);
            done(nullptr);
            return;
        }
        const QByteArray body = reply->readAll();
        if (CloudRateLimit::isLimited(reply, body)) {
            if (const std::optional<int> pause = delays_.rateLimit.pause(limited + 1, reply->rawHeader("Retry-After"))) {
                qCInfo(lcOneDrive).noquote() << "the service limits the rate; the item is asked for again";
                QTimer::singleShot(*pause, this, [this, item, completion, round, limited] {
                    fetchItem(item, completion, round, limited + 1);
                });
                return;
            }
        }
        const QJsonDocument doc = CloudReply::json(body);
        if (!doc.isObject()) {
            done(nullptr);
            return;
        }
        const QJsonObject object = doc.object();
        const QJsonObject error = object.value(QStringLiteral("error")).toObject();
        const QString code = error.value(QStringLiteral("code")).toString();
        if (code == QLatin1String("InvalidAuthenticationToken")) {
            qCInfo(lcOneDrive).noquote() << "try refresh";
            refreshToken();
            if (tokens_.signInExpired()) {
                qCWarning(lcOneDrive).noquote() << "the sign-in has expired and cannot be renewed";
                done(nullptr);
                return;
            }
            if (round >= delays_.itemRetries) {
                qCWarning(lcOneDrive).noquote() << "the service keeps refusing the token; giving up on the item";
                done(nullptr);
                return;
            }
            QTimer::singleShot(delays_.itemRetryMs, this, [this, item, completion, round, limited] {
                fetchItem(item, completion, round + 1, limited);
            });
            return;
        }
        if (object.contains(QStringLiteral("error"))) {
            qCWarning(lcOneDrive).noquote() << "the item was not given:" << code
                                            << error.value(QStringLiteral("message")).toString();
            done(nullptr);
            return;
        }
        done(parseItem(object));
    });
}

CloudItemPtr OneDriveWorker::parseItem(const QJsonObject& object)
{
    const QString name = object.value(QStringLiteral("name")).toString();
    const QString download = object.value(QStringLiteral("@microsoft.graph.downloadUrl")).toString();
    const QString type = object.contains(QStringLiteral("folder")) ? QStringLiteral("folder") : QStringLiteral("file");
    const QString id = object.value(QStringLiteral("id")).toString();
    const QJsonValue sizeValue = object.value(QStringLiteral("size"));
    const quint64 size = sizeValue.isDouble() && sizeValue.toDouble() >= 0 ? quint64(sizeValue.toInteger()) : 0;

    QString path;
    const QJsonValue parentPath = object.value(QStringLiteral("parentReference")).toObject().value(QStringLiteral("path"));
    if (parentPath.isString()) {
        QString parent = parentPath.toString();
        parent.remove(QStringLiteral("/drive/root:"));
        path = QUrl::fromPercentEncoding(parent.toUtf8()) + QLatin1Char('/') + name;
    }
    const QString date = CloudTimestamp::displayText(object.value(QStringLiteral("lastModifiedDateTime")).toString());
    return std::make_shared<CloudItemClass>(name, path, type, id, size, date, download, QString());
}
