#include "CountingNetworkAccessManager.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <memory>

CountingNetworkAccessManager::CountingNetworkAccessManager(QObject* parent)
    : QNetworkAccessManager(parent)
{
    setProxy(QNetworkProxy::NoProxy);
}

QNetworkReply* CountingNetworkAccessManager::createRequest(Operation op, const QNetworkRequest& request, QIODevice* data)
{
    QNetworkReply* reply = QNetworkAccessManager::createRequest(op, request, data);
    ++*open_;
    // Counted before the client's own handlers of the same signal run, and once only.
    auto done = std::make_shared<bool>(false);
    const auto close = [open = open_, done] {
        if (!*done) {
            *done = true;
            --*open;
        }
    };
    connect(reply, &QNetworkReply::finished, this, close);
    connect(reply, &QObject::destroyed, this, close);
    return reply;
}
