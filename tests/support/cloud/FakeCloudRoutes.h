#pragma once

#include "FakeCloudServer.h"

#include <QString>
#include <QUrl>
#include <optional>

class FakeCloudTree;

// What each service's side of the stand-in cloud shares: the knobs that script paging,
// failures and delays, the server and tree it serves, and the handler that delays its answers.
class FakeCloudRoutes {
public:
    virtual ~FakeCloudRoutes() = default;

    enum class Paging { normal, repeating, endless };

    int pageSize;
    int failPage = 0;       // listings: this page (1 = the first) answers failStatus
    QString failPath;       // content: this path answers failStatus
    int failStatus = 500;
    int delayMs = 0;        // every answer waits this long
    qint64 dropAfter = -1;  // content: the connection ends after this many bytes
    QByteArray padding;     // content: appended to every file's bytes (more than its listing says)
    bool hideLength = false; // content: sent without a Content-Length
    Paging paging = Paging::normal; // listings: a next page that repeats, or that never runs out
    int throttle = 0;       // listings and content: the next this many answer 429 (-1: every one)
    int retryAfter = 1;     // the Retry-After of those answers, in seconds
    QUrl redirectTo;        // listings and content: answer 302 to this scheme and host instead

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
    // The 429 or 302 the knobs script for this listing or content request, if any.
    std::optional<FakeCloudServer::Response> interfere(const FakeCloudServer::Request& r);
    // Where the page after one that ended at `end` of `total` entries starts, as the paging knob
    // has it; -1: there is none. A repeating listing names the page at `offset` again.
    int nextOffset(int offset, int end, int total) const;

    FakeCloudServer* server_ = nullptr;
    FakeCloudTree* tree_ = nullptr;
};
