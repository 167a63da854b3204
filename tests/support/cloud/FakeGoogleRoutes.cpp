#include "FakeGoogleRoutes.h"

#include "FakeCloudTree.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <utility>

namespace {

using Response = FakeCloudServer::Response;

const QString kFiles = QStringLiteral("/drive/v3/files");
const QString kFolderType = QStringLiteral("application/vnd.google-apps.folder");
const QString kRootId = QStringLiteral("0AStandinRootFolder");

Response apiError(int status, const QString& message, const QString& reason)
{
    return Response::json(
        QJsonObject{{"error", QJsonObject{{"code", status},
                                          {"message", message},
                                          {"errors", QJsonArray{QJsonObject{{"domain", "global"},
                                                                            {"reason", reason},
                                                                            {"message", message}}}}}}},
        status);
}

QByteArray base64Url(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray pkceChallenge(const QByteArray& verifier)
{
    return base64Url(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256));
}

} // namespace

QByteArray FakeGoogleRoutes::idToken() const
{
    const QJsonObject header{{"alg", "RS256"}, {"kid", "standin"}, {"typ", "JWT"}};
    const QJsonObject claims{{"iss", "https://accounts.google.com"},
                             {"aud", clientId},
                             {"sub", "110000000000000000001"},
                             {"email", email},
                             {"email_verified", true},
                             {"picture", picture},
                             {"iat", 1700000000},
                             {"exp", 1700003600}};
    return base64Url(QJsonDocument(header).toJson(QJsonDocument::Compact)) + '.'
        + base64Url(QJsonDocument(claims).toJson(QJsonDocument::Compact)) + '.' + base64Url("standin-signature");
}

std::optional<FakeCloudServer::Response> FakeGoogleRoutes::route(const FakeCloudServer::Request& r)
{
    const QString path = r.path();
    if (r.method == "GET" && path == "/o/oauth2/v2/auth") {
        const QUrlQuery q = r.query();
        const QString redirect = q.queryItemValue("redirect_uri", QUrl::FullyDecoded);
        if (redirect.isEmpty() || (!clientId.isEmpty() && q.queryItemValue("client_id") != clientId)
            || q.queryItemValue("response_type") != "code")
            return Response::text("<html><body>Error 400: invalid_request</body></html>", "text/html", 400);
        if (q.queryItemValue("code_challenge_method") != "S256" || q.queryItemValue("code_challenge").isEmpty())
            return Response::text("<html><body>Error 400: invalid_request (PKCE required)</body></html>", "text/html", 400);
        challenge_ = q.queryItemValue("code_challenge").toLatin1();
        QUrl back(redirect);
        QUrlQuery answer;
        if (q.hasQueryItem("state"))
            answer.addQueryItem("state", q.queryItemValue("state"));
        answer.addQueryItem("code", QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(authorizationCode))));
        answer.addQueryItem("scope", q.queryItemValue("scope").replace('+', "%20"));
        back.setQuery(answer);
        return Response::redirect(back);
    }
    if (r.method == "POST" && path == "/token")
        return token(r);
    if (r.method == "POST" && path == "/revoke")
        return revoke(r);
    if (r.method == "GET" && path == kFiles)
        return listing(r);
    if (r.method == "GET" && path.startsWith(kFiles + '/') && r.query().queryItemValue("alt") == "media") {
        if (!tokens_.isLive(r.bearer()))
            return apiError(401, "Request had invalid authentication credentials.", "authError");
        if (std::optional<Response> scripted = interfere(r))
            return scripted;
        const QString id = path.mid(kFiles.size() + 1);
        return content(id, apiError(404, "File not found: " + id + ".", "notFound"),
                       apiError(failStatus, "Internal Error", "internalError"));
    }
    if (r.method == "GET" && path.startsWith(kFiles + '/')) {
        if (!tokens_.isLive(r.bearer()))
            return apiError(401, "Request had invalid authentication credentials.", "authError");
        const QString id = path.mid(kFiles.size() + 1);
        const std::optional<FakeCloudEntry> e = tree_->entry(id);
        if (!e)
            return apiError(404, "File not found: " + id + ".", "notFound");
        return Response::json(file(*e));
    }
    return std::nullopt;
}

FakeCloudServer::Response FakeGoogleRoutes::token(const FakeCloudServer::Request& r)
{
    const QUrlQuery form = r.form();
    const auto refuse = [](const QString& error, const QString& why) {
        return Response::json(QJsonObject{{"error", error}, {"error_description", why}}, 400);
    };
    if ((!clientId.isEmpty() && form.queryItemValue("client_id", QUrl::FullyDecoded) != clientId)
        || (!clientSecret.isEmpty() && form.queryItemValue("client_secret", QUrl::FullyDecoded) != clientSecret))
        return refuse("invalid_client", "Unauthorized");
    const QString grant = form.queryItemValue("grant_type");
    const bool exchange = grant == "authorization_code";
    if (exchange) {
        if (form.queryItemValue("code", QUrl::FullyDecoded).toLatin1() != authorizationCode)
            return refuse("invalid_grant", "Malformed auth code.");
        const QByteArray verifier = form.queryItemValue("code_verifier", QUrl::FullyDecoded).toLatin1();
        const QByteArray challenge = std::exchange(challenge_, QByteArray());
        if (challenge.isEmpty() || pkceChallenge(verifier) != challenge)
            return refuse("invalid_grant", "Missing code verifier.");
    } else if (grant == "refresh_token") {
        if (!tokens_.isLiveRefresh(form.queryItemValue("refresh_token", QUrl::FullyDecoded).toLatin1()))
            return refuse("invalid_grant", "Token has been expired or revoked.");
    } else {
        return refuse("unsupported_grant_type", "Invalid grant_type.");
    }
    QJsonObject answer{{"access_token", QString::fromLatin1(tokens_.access())},
                       {"expires_in", expiresIn},
                       {"scope", "https://www.googleapis.com/auth/drive.readonly"},
                       {"token_type", "Bearer"}};
    // As the real service: only the code exchange hands out a refresh token.
    if (exchange) {
        answer.insert("refresh_token", QString::fromLatin1(tokens_.refresh()));
        answer.insert("id_token", QString::fromLatin1(idToken()));
    }
    return Response::json(answer);
}

FakeCloudServer::Response FakeGoogleRoutes::revoke(const FakeCloudServer::Request& r)
{
    const QByteArray token = r.form().queryItemValue("token", QUrl::FullyDecoded).toLatin1();
    if (!tokens_.revoke(token))
        return Response::json(QJsonObject{{"error", "invalid_token"}, {"error_description", "Token expired or revoked"}}, 400);
    return Response::json(QJsonObject{});
}

FakeCloudServer::Response FakeGoogleRoutes::listing(const FakeCloudServer::Request& r)
{
    if (!tokens_.isLive(r.bearer()))
        return apiError(401, "Request had invalid authentication credentials.", "authError");
    if (std::optional<Response> scripted = interfere(r))
        return *scripted;
    const QUrlQuery q = r.query();
    const int size = std::max(1, pageSize);
    const int offset = q.queryItemValue("pageToken", QUrl::FullyDecoded).toInt();
    if (rateLimited > 0 && (rateLimitedPage == 0 || offset / size + 1 == rateLimitedPage)) {
        --rateLimited;
        return apiError(403, "User Rate Limit Exceeded. Rate of requests for user exceed configured project quota.",
                        "userRateLimitExceeded");
    }
    static const QRegularExpression parentQuery(QStringLiteral("^'((?:[^'\\\\]|\\\\.)*)' in parents and trashed=false$"));
    const QRegularExpressionMatch m = parentQuery.match(q.queryItemValue("q", QUrl::FullyDecoded));
    if (!m.hasMatch())
        return apiError(400, "Invalid Value", "invalid");
    QString parentId = m.captured(1).replace(QStringLiteral("\\'"), QStringLiteral("'"));
    if (parentId == "root" || parentId == kRootId)
        parentId.clear();
    else if (!tree_->entry(parentId) || !tree_->entry(parentId)->folder)
        return apiError(404, "File not found: " + parentId + ".", "notFound");

    if (offset / size + 1 == failPage)
        return apiError(failStatus, "Internal Error", "internalError");
    const QList<FakeCloudEntry> all = tree_->children(parentId);
    QJsonArray files;
    const int end = std::max(offset, std::min<int>(all.size(), offset + size));
    for (int i = offset; i < end; ++i)
        files.append(file(all[i]));
    QJsonObject answer{{"files", files}};
    if (const int next = nextOffset(offset, end, all.size()); next >= 0)
        answer.insert("nextPageToken", QString::number(next));
    return Response::json(answer);
}

QJsonObject FakeGoogleRoutes::file(const FakeCloudEntry& e) const
{
    QJsonObject o{{"id", e.id},
                  {"name", e.name},
                  {"mimeType", e.folder ? kFolderType : QStringLiteral("application/octet-stream")},
                  {"modifiedTime", e.modified.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"))},
                  {"parents", QJsonArray{e.parentId.isEmpty() ? kRootId : e.parentId}}};
    if (!e.folder) {
        o.insert("size", QString::number(e.content.size()));
        QUrl link = server_->baseUrl();
        link.setPath("/uc");
        link.setQuery("id=" + e.id + "&export=download");
        o.insert("webContentLink", link.toString(QUrl::FullyEncoded));
    }
    return o;
}
