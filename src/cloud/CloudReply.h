#pragma once

#include <QJsonDocument>
#include <QObject>
#include <QString>
#include <functional>

class QNetworkReply;

// How the cloud clients read an answer: an HTTP status is not a failure by itself (services
// answer errors as JSON objects the clients look into); only an answer that never came is.
class CloudReply {
public:
    static bool transportFailed(QNetworkReply* reply);
    static QString errorText(QNetworkReply* reply);
    // The body as JSON; a null document when it is not JSON.
    static QJsonDocument json(const QByteArray& body);
    // Runs `call` from the event loop, so a completion that cannot even be started still
    // arrives after the caller's call returned, like every other.
    static void later(QObject* context, std::function<void()> call);
};
