#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QNetworkReply;

// How the clients wait out a service that answers "too many requests": a bounded number of
// tries, each after the pause the service names in Retry-After (or a doubling pause when it
// names none), never longer than maxWaitMs, so a server cannot hold a run for hours.
struct CloudRateLimit {
    int tries = 5;                   // requests of one page or one file, the first included
    int secondMs = 1000;             // one second of Retry-After
    int backoffMs = 1000;            // the first pause without Retry-After; doubled each time
    int maxWaitMs = 2 * 60 * 1000;   // the longest single pause

    // The pause before the next request when `done` requests were answered "too many
    // requests"; none when the tries are used up.
    std::optional<int> pause(int done, const QByteArray& retryAfter) const;

    // 429; 503 with Retry-After; Google's 403 answers whose reason is a rate limit.
    static bool isLimited(int status, const QByteArray& retryAfter, const QByteArray& body);
    static bool isLimited(QNetworkReply* reply, const QByteArray& body);
    // What a file that kept being refused shows in the failed list.
    static QString remark();
};
