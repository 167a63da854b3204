#include "CloudReply.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QNetworkReply>

bool CloudReply::transportFailed(QNetworkReply* reply)
{
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError)
        return false;
    // Our transfer timeout aborts the reply, which then looks like a cancel.
    if (error == QNetworkReply::OperationCanceledError)
        return true;
    return !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

QString CloudReply::errorText(QNetworkReply* reply)
{
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return QCoreApplication::translate("CloudReply", "The service did not answer in time.");
    return reply->errorString();
}

QJsonDocument CloudReply::json(const QByteArray& body)
{
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError ? doc : QJsonDocument();
}

void CloudReply::later(QObject* context, std::function<void()> call)
{
    QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}
