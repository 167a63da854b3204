#include "FakeOneDriveRoutes.h"

#include "FakeCloudTree.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <utility>

namespace {

using Response = FakeCloudServer::Response;

const QString kGraph = QStringLiteral("/v1.0/me");
const QString kContent = QStringLiteral("/standin/onedrive/content/");

// A 1x1 PNG: enough for the client to show a picture.
const QByteArray kPhoto = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");

Response graphError(int status, const QString& code, const QString& message)
{
    return Response::json(QJsonObject{{"error", QJsonObject{{"code", code}, {"message", message}}}}, status);
}

QString timeText(const QDateTime& when)
{
    return when.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
}

} // namespace

QUrl FakeOneDriveRoutes::base() const
{
    return nextLinkBase.isEmpty() ? server_->baseUrl() : nextLinkBase;
}

std::optional<FakeCloudServer::Response> FakeOneDriveRoutes::route(const FakeCloudServer::Request& r)
{
    const QString path = r.path();
    const QUrlQuery q = r.query();
    if (r.method == "GET" && path == "/oauth20_authorize.srf") {
        const QString redirect = q.queryItemValue("redirect_uri", QUrl::FullyDecoded);
        if (redirect.isEmpty() || (!clientId.isEmpty() && q.queryItemValue("client_id") != clientId)
            || q.queryItemValue("response_type") != "code")
            return Response::text("<html><body>Invalid sign-in request.</body></html>", "text/html", 400);
        if (q.queryItemValue("code_challenge_method") != "S256" || q.queryItemValue("code_challenge").isEmpty())
            return Response::text("<html><body>This sign-in needs a PKCE challenge.</body></html>", "text/html", 400);
        challenge_ = q.queryItemValue("code_challenge").toLatin1();
        QUrl back(redirect);
        QUrlQuery answer;
        answer.addQueryItem("code", QString::fromLatin1(authorizationCode));
        if (q.hasQueryItem("state"))
            answer.addQueryItem("state", q.queryItemValue("state"));
        answer.addQueryItem("lc", "1033");
        back.setQuery(answer);
        return Response::redirect(back);
    }
    if (r.method == "GET" && path == "/oauth20_logout.srf") {
        QUrl back(q.queryItemValue("redirect_uri", QUrl::FullyDecoded));
        if (!back.isValid() || back.isEmpty())
            return Response::text("<html><body>Invalid sign-out request.</body></html>", "text/html", 400);
        back.setQuery("lc=1033");
        return Response::redirect(back);
    }
    if (r.method == "GET" && path == "/common/oauth2/v2.0/logout")
        return Response::text("<html><body>You are signed out of the stand-in OneDrive.</body></html>", "text/html");
    if (r.method == "POST" && path == "/oauth20_token.srf")
        return token(r);
    if (r.method == "GET" && path.startsWith(kContent)) {
        if (std::optional<Response> scripted = interfere(r))
            return scripted;
        return content(path.mid(kContent.size()), graphError(404, "itemNotFound", "The resource could not be found."),
                       graphError(failStatus, "generalException", "The stand-in failed this download."));
    }
    if (r.method == "GET" && (path == kGraph || path.startsWith(kGraph + '/')))
        return graph(r, path.mid(kGraph.size()));
    return std::nullopt;
}

FakeCloudServer::Response FakeOneDriveRoutes::token(const FakeCloudServer::Request& r)
{
    const QUrlQuery form = r.form();
    const auto refuse = [](const QString& error) {
        return Response::json(QJsonObject{{"error", error}, {"error_description", "The stand-in refused the grant."}}, 400);
    };
    if (!clientId.isEmpty() && form.queryItemValue("client_id") != clientId)
        return refuse("invalid_client");
    const QString grant = form.queryItemValue("grant_type");
    if (grant == "authorization_code") {
        if (form.queryItemValue("code", QUrl::FullyDecoded).toLatin1() != authorizationCode)
            return refuse("invalid_grant");
        const QByteArray verifier = form.queryItemValue("code_verifier", QUrl::FullyDecoded).toLatin1();
        const QByteArray computed = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        const QByteArray challenge = std::exchange(challenge_, QByteArray());
        if (challenge.isEmpty() || computed != challenge)
            return refuse("invalid_grant");
    } else if (grant == "refresh_token") {
        if (!tokens_.useRefresh(form.queryItemValue("refresh_token", QUrl::FullyDecoded).toLatin1()))
            return refuse("invalid_grant");
    } else {
        return refuse("unsupported_grant_type");
    }
    QJsonObject answer{{"token_type", "bearer"},
                       {"expires_in", expiresIn},
                       {"scope", "offline_access User.Read Files.ReadWrite.All"},
                       {"access_token", QString::fromLatin1(tokens_.access())}};
    if (issueRefreshToken)
        answer.insert("refresh_token", QString::fromLatin1(tokens_.refresh()));
    return Response::json(answer);
}

FakeCloudServer::Response FakeOneDriveRoutes::graph(const FakeCloudServer::Request& r, const QString& path)
{
    if (refuseTokens || !tokens_.isLive(r.bearer()))
        return graphError(401, "InvalidAuthenticationToken", "Access token is empty or invalid.");
    if (path.isEmpty()) {
        return Response::json(QJsonObject{{"displayName", "Ann"},
                                          {"mail", mail.isEmpty() ? QJsonValue() : QJsonValue(mail)},
                                          {"userPrincipalName", userPrincipalName}});
    }
    if (path == "/photo/$value")
        return Response::text(kPhoto, "image/png");
    if (path == "/drive/root/children")
        return listing(r, QString());
    static const QString items = QStringLiteral("/drive/items/");
    if (!path.startsWith(items))
        return graphError(400, "invalidRequest", "Unknown route.");
    const QString rest = path.mid(items.size());
    const QString id = rest.section('/', 0, 0);
    const std::optional<FakeCloudEntry> e = tree_->entry(id);
    if (!e)
        return graphError(404, "itemNotFound", "The resource could not be found.");
    if (rest == id)
        return Response::json(item(id));
    if (rest == id + "/children" && e->folder)
        return listing(r, id);
    return graphError(400, "invalidRequest", "Unknown route.");
}

FakeCloudServer::Response FakeOneDriveRoutes::listing(const FakeCloudServer::Request& r, const QString& parentId)
{
    if (std::optional<Response> scripted = interfere(r))
        return *scripted;
    const int size = std::max(1, pageSize);
    const int offset = r.query().queryItemValue("$skiptoken").toInt();
    if (offset / size + 1 == failPage)
        return graphError(failStatus, "generalException", "The stand-in failed this page.");
    const QList<FakeCloudEntry> all = tree_->children(parentId);
    QJsonArray value;
    const int end = std::max(offset, std::min<int>(all.size(), offset + size));
    for (int i = offset; i < end; ++i)
        value.append(item(all[i].id));
    QJsonObject answer{{"value", value}};
    if (const int following = nextOffset(offset, end, all.size()); following >= 0) {
        QUrl next = base();
        next.setPath(r.path());
        next.setQuery(QStringLiteral("$skiptoken=%1").arg(following));
        answer.insert("@odata.nextLink", next.toString(QUrl::FullyEncoded));
    }
    return Response::json(answer);
}

QJsonObject FakeOneDriveRoutes::item(const QString& id) const
{
    const FakeCloudEntry e = *tree_->entry(id);
    const QString parentPath = e.parentId.isEmpty() ? QString() : tree_->pathOf(e.parentId);
    QJsonObject o{{"id", e.id},
                  {"name", e.name},
                  {"size", e.folder ? 0 : qint64(e.content.size())},
                  {"lastModifiedDateTime", timeText(e.modified)},
                  {"parentReference",
                   QJsonObject{{"driveType", "personal"},
                               {"id", e.parentId.isEmpty() ? QStringLiteral("root") : e.parentId},
                               {"path", "/drive/root:" + QString::fromLatin1(QUrl::toPercentEncoding(parentPath, "/"))}}}};
    if (e.folder) {
        o.insert("folder", QJsonObject{{"childCount", tree_->children(e.id).size()}});
    } else {
        o.insert("file", QJsonObject{{"mimeType", "application/octet-stream"}});
        QUrl download = server_->baseUrl();
        download.setPath(kContent + e.id);
        download.setQuery("tempauth=standin-" + e.id);
        o.insert("@microsoft.graph.downloadUrl", download.toString(QUrl::FullyEncoded));
    }
    return o;
}
