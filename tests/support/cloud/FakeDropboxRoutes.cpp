#include "FakeDropboxRoutes.h"

#include "FakeCloudTree.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using Response = FakeCloudServer::Response;

Response apiError(int status, const QString& summary)
{
    return Response::json(QJsonObject{{"error_summary", summary}, {"error", QJsonObject{{".tag", summary.section('/', 0, 0)}}}},
                          status);
}

QJsonObject entryJson(const FakeCloudEntry& e, const QString& path)
{
    QJsonObject o{{".tag", e.folder ? "folder" : "file"},
                  {"name", e.name},
                  {"id", "id:" + e.id},
                  {"path_lower", path.toLower()},
                  {"path_display", path}};
    if (!e.folder) {
        const QString when = e.modified.toUTC().toString(Qt::ISODate);
        o.insert("client_modified", when);
        o.insert("server_modified", when);
        o.insert("rev", "0150" + e.id);
        o.insert("size", qint64(e.content.size()));
        o.insert("is_downloadable", true);
    }
    return o;
}

QByteArray encodeCursor(const QString& parentId, int offset)
{
    return (parentId + '|' + QString::number(offset)).toUtf8().toBase64(QByteArray::Base64UrlEncoding);
}

} // namespace

QJsonObject FakeDropboxRoutes::metadata(const FakeCloudEntry& e) const
{
    const QString path = tree_->pathOf(e.id);
    QJsonObject o = entryJson(e, path);
    if (!e.folder && notDownloadable.contains(path))
        o.insert("is_downloadable", false);
    return o;
}

std::optional<FakeCloudServer::Response> FakeDropboxRoutes::route(const FakeCloudServer::Request& r)
{
    const QString path = r.path();
    if (r.method == "GET" && path == "/oauth2/authorize")
        return authorize(r);
    if (r.method == "GET" && path == "/logout")
        return Response::text("<html><body>You are signed out of the stand-in Dropbox.</body></html>", "text/html");
    if (r.method != "POST")
        return std::nullopt;
    if (path == "/oauth2/token")
        return token(r);
    if (!path.startsWith("/2/"))
        return std::nullopt;
    if (!tokens_.isLive(r.bearer()))
        return apiError(401, "expired_access_token/..");

    const QJsonObject args = QJsonDocument::fromJson(r.body).object();
    if (path == "/2/users/get_current_account") {
        QJsonObject account{{"account_id", accountId},
                            {"email", email},
                            {"email_verified", true},
                            {"name", QJsonObject{{"display_name", email.section('@', 0, 0)}}}};
        if (!photoUrl.isEmpty())
            account.insert("profile_photo_url", photoUrl);
        return Response::json(account);
    }
    if (path == "/2/users/get_space_usage") {
        QJsonObject allocation{{".tag", allocationKind}, {"allocated", allocated}};
        if (allocationKind == "team")
            allocation.insert("used", used);
        return Response::json(QJsonObject{{"used", used}, {"allocation", allocation}});
    }
    if (path == "/2/files/list_folder") {
        const QString folder = args.value("path").toString();
        QString parentId;
        if (!folder.isEmpty()) {
            const std::optional<FakeCloudEntry> e = tree_->entryAtPath(folder);
            if (!e)
                return apiError(409, "path/not_found/..");
            if (!e->folder)
                return apiError(409, "path/not_folder/..");
            parentId = e->id;
        }
        return listing(r, parentId, 0);
    }
    if (path == "/2/files/list_folder/continue") {
        const QString cursor = QString::fromUtf8(QByteArray::fromBase64(args.value("cursor").toString().toLatin1(),
                                                                         QByteArray::Base64UrlEncoding));
        if (!cursor.contains('|'))
            return apiError(409, "reset/..");
        return listing(r, cursor.section('|', 0, 0), cursor.section('|', 1).toInt());
    }
    if (path == "/2/files/get_metadata") {
        const std::optional<FakeCloudEntry> e = tree_->entryAtPath(args.value("path").toString());
        if (!e)
            return apiError(409, "path/not_found/..");
        return Response::json(metadata(*e));
    }
    if (path == "/2/files/download")
        return download(r);
    return apiError(400, "unknown route");
}

FakeCloudServer::Response FakeDropboxRoutes::authorize(const FakeCloudServer::Request& r)
{
    const QUrlQuery q = r.query();
    const QString redirect = q.queryItemValue("redirect_uri", QUrl::FullyDecoded);
    if (redirect.isEmpty() || (!appKey.isEmpty() && q.queryItemValue("client_id") != appKey)
        || q.queryItemValue("response_type") != "code")
        return Response::text("<html><body>Invalid authorize request.</body></html>", "text/html", 400);
    issued_.insert(authorizationCode,
                   {q.queryItemValue("code_challenge_method") == "S256" ? q.queryItemValue("code_challenge").toLatin1()
                                                                         : QByteArray(),
                    redirect, q.queryItemValue("token_access_type") == "offline"});
    QUrl back(redirect);
    QUrlQuery answer;
    answer.addQueryItem("code", QString::fromLatin1(authorizationCode));
    if (q.hasQueryItem("state"))
        answer.addQueryItem("state", q.queryItemValue("state"));
    back.setQuery(answer);
    return Response::redirect(back);
}

FakeCloudServer::Response FakeDropboxRoutes::token(const FakeCloudServer::Request& r)
{
    const QUrlQuery form = r.form();
    const auto refuse = [](const QString& why) {
        return Response::json(QJsonObject{{"error", "invalid_grant"}, {"error_description", why}}, 400);
    };
    const QString grant = form.queryItemValue("grant_type");
    if (grant != "authorization_code" && grant != "refresh_token")
        return Response::json(QJsonObject{{"error", "unsupported_grant_type"}}, 400);
    if (!appKey.isEmpty() && form.queryItemValue("client_id") != appKey)
        return Response::json(QJsonObject{{"error", "invalid_client"}}, 400);
    if (grant == "refresh_token") {
        // As the service: a new access token, the refresh token stays the same.
        if (!tokens_.isLiveRefresh(form.queryItemValue("refresh_token", QUrl::FullyDecoded).toLatin1()))
            return refuse("refresh token is invalid or revoked");
        return Response::json(QJsonObject{{"access_token", QString::fromLatin1(tokens_.access())},
                                          {"token_type", "bearer"},
                                          {"expires_in", expiresIn}});
    }
    const QByteArray code = form.queryItemValue("code", QUrl::FullyDecoded).toLatin1();
    if (!issued_.contains(code))
        return refuse("code doesn't exist or has expired");
    const Grant issued = issued_.take(code);
    const QByteArray& challenge = issued.challenge;
    const QString& redirect = issued.redirect;
    const QByteArray verifier = form.queryItemValue("code_verifier", QUrl::FullyDecoded).toLatin1();
    const QByteArray computed = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                    .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    if (challenge.isEmpty() || computed != challenge)
        return refuse("invalid code verifier");
    if (form.queryItemValue("redirect_uri", QUrl::FullyDecoded) != redirect)
        return refuse("redirect_uri mismatch");
    QJsonObject answer{{"access_token", QString::fromLatin1(tokens_.access())},
                       {"token_type", "bearer"},
                       {"expires_in", expiresIn},
                       {"account_id", accountId},
                       {"uid", "12345"}};
    if (issued.offline)
        answer.insert("refresh_token", QString::fromLatin1(tokens_.refresh()));
    return Response::json(answer);
}

FakeCloudServer::Response FakeDropboxRoutes::listing(const FakeCloudServer::Request& r, const QString& parentId,
                                                     int offset)
{
    if (std::optional<Response> scripted = interfere(r))
        return *scripted;
    const int page = offset / std::max(1, pageSize) + 1;
    if (page == failPage)
        return apiError(failStatus, "internal_error/..");
    const QList<FakeCloudEntry> all = tree_->children(parentId);
    QJsonArray entries;
    const int end = std::max(offset, std::min<int>(all.size(), offset + std::max(1, pageSize)));
    for (int i = offset; i < end; ++i)
        entries.append(metadata(all[i]));
    const int next = nextOffset(offset, end, all.size());
    return Response::json(QJsonObject{{"entries", entries},
                                      {"cursor", QString::fromLatin1(encodeCursor(parentId, next >= 0 ? next : end))},
                                      {"has_more", next >= 0}});
}

FakeCloudServer::Response FakeDropboxRoutes::download(const FakeCloudServer::Request& r)
{
    if (std::optional<Response> scripted = interfere(r))
        return *scripted;
    const QString path = QJsonDocument::fromJson(r.header("dropbox-api-arg")).object().value("path").toString();
    if (!failPath.isEmpty() && path.compare(failPath, Qt::CaseInsensitive) == 0)
        return apiError(failStatus, "internal_error/..");
    const std::optional<FakeCloudEntry> e = tree_->entryAtPath(path);
    if (!e)
        return apiError(409, "path/not_found/..");
    if (e->folder)
        return apiError(409, "path/not_file/..");
    if (notDownloadable.contains(tree_->pathOf(e->id)))
        return apiError(409, "unsupported_file/..");
    Response response;
    response.headers.append(qMakePair(QByteArray("Dropbox-API-Result"),
                                      QJsonDocument(metadata(*e)).toJson(QJsonDocument::Compact)));
    response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/octet-stream")));
    response.body = e->content + padding;
    response.dropAfter = dropAfter;
    response.hideLength = hideLength;
    return response;
}
