#include "FakeCloudRoutes.h"

#include "FakeCloudTree.h"

#include <QJsonObject>
#include <algorithm>

void FakeCloudRoutes::install(FakeCloudServer& server, FakeCloudTree& tree)
{
    server_ = &server;
    tree_ = &tree;
    server.addHandler([this](const FakeCloudServer::Request& r) {
        std::optional<FakeCloudServer::Response> response = route(r);
        if (response)
            response->delayMs = std::max(response->delayMs, delayMs);
        return response;
    });
}

FakeCloudServer::Response FakeCloudRoutes::content(const QString& id, const FakeCloudServer::Response& notFound,
                                                   const FakeCloudServer::Response& failed) const
{
    const std::optional<FakeCloudEntry> e = tree_->entry(id);
    if (!e || e->folder)
        return notFound;
    if (!failPath.isEmpty() && tree_->pathOf(id).compare(failPath, Qt::CaseInsensitive) == 0)
        return failed;
    FakeCloudServer::Response response =
        FakeCloudServer::Response::text(e->content + padding, "application/octet-stream");
    response.dropAfter = dropAfter;
    response.hideLength = hideLength;
    return response;
}

std::optional<FakeCloudServer::Response> FakeCloudRoutes::interfere(const FakeCloudServer::Request& r)
{
    if (redirectTo.isValid()) {
        QUrl elsewhere = redirectTo;
        elsewhere.setPath(r.path());
        elsewhere.setQuery(r.url().query(QUrl::FullyEncoded), QUrl::StrictMode);
        return FakeCloudServer::Response::redirect(elsewhere);
    }
    if (throttle == 0)
        return std::nullopt;
    if (throttle > 0)
        --throttle;
    FakeCloudServer::Response response = FakeCloudServer::Response::json(
        // A member no client may print: services echo what they like in their error pages.
        QJsonObject{{"error", QJsonObject{{"code", "too_many_requests"}, {"message", "Slow down."}}},
                    {"access_token", "echoed-secret"}}, 429);
    response.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray::number(retryAfter)));
    return response;
}

int FakeCloudRoutes::nextOffset(int offset, int end, int total) const
{
    switch (paging) {
    case Paging::repeating: return offset;
    case Paging::endless: return std::max(end, offset + 1);
    case Paging::normal: break;
    }
    return end < total ? end : -1;
}
