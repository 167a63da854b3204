#include "FakeCloudRoutes.h"

#include "FakeCloudTree.h"

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
    FakeCloudServer::Response response = FakeCloudServer::Response::text(e->content, "application/octet-stream");
    response.dropAfter = dropAfter;
    return response;
}
