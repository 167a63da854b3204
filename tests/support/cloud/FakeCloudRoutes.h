#pragma once

#include "FakeCloudServer.h"

#include <QString>
#include <optional>

class FakeCloudTree;

// What each service's side of the stand-in cloud shares: the knobs that script paging,
// failures and delays, the server and tree it serves, and the handler that delays its answers.
class FakeCloudRoutes {
public:
    virtual ~FakeCloudRoutes() = default;

    int pageSize;
    int failPage = 0;       // listings: this page (1 = the first) answers failStatus
    QString failPath;       // content: this path answers failStatus
    int failStatus = 500;
    int delayMs = 0;        // every answer waits this long
    qint64 dropAfter = -1;  // content: the connection ends after this many bytes

    void install(FakeCloudServer& server, FakeCloudTree& tree);

protected:
    explicit FakeCloudRoutes(int defaultPageSize)
        : pageSize(defaultPageSize)
    {
    }

    // nullopt: not a route of this service.
    virtual std::optional<FakeCloudServer::Response> route(const FakeCloudServer::Request& r) = 0;
    // The content of file `id`; `notFound` for no such file, `failed` for failPath.
    FakeCloudServer::Response content(const QString& id, const FakeCloudServer::Response& notFound,
                                      const FakeCloudServer::Response& failed) const;

    FakeCloudServer* server_ = nullptr;
    FakeCloudTree* tree_ = nullptr;
};
