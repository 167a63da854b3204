#include "HttpAnalyticsSink.h"

#include <QLoggingCategory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>
#include <QUuid>

Q_LOGGING_CATEGORY(lcAnalyticsHttp, "zorvi.analytics")

HttpAnalyticsSink::HttpAnalyticsSink(const QUrl& endpoint, int timeoutMs)
    : endpoint_(endpoint)
    , timeoutMs_(timeoutMs)
    , clientId_(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

QUrl HttpAnalyticsSink::defaultEndpoint()
{
    return QUrl(QStringLiteral("https://www.google-analytics.com/collect"));
}

void HttpAnalyticsSink::configure(const QString& trackerId)
{
    trackerId_ = trackerId;
}

void HttpAnalyticsSink::session(bool start, const Parameters& parameters)
{
    send(QStringLiteral("event"),
         { { QStringLiteral("sc"), start ? QStringLiteral("start") : QStringLiteral("end") },
           { QStringLiteral("ec"), QStringLiteral("Session") },
           { QStringLiteral("ea"), start ? QStringLiteral("Start") : QStringLiteral("End") } },
         parameters);
}

void HttpAnalyticsSink::event(const QString& category, const QString& action, const QString& label,
                              const Parameters& parameters)
{
    send(QStringLiteral("event"),
         { { QStringLiteral("ec"), category }, { QStringLiteral("ea"), action }, { QStringLiteral("el"), label } },
         parameters);
}

void HttpAnalyticsSink::screenView(const QString& name, const Parameters& parameters)
{
    send(QStringLiteral("screenview"), { { QStringLiteral("cd"), name } }, parameters);
}

void HttpAnalyticsSink::send(const QString& hitType, const Parameters& fields, const Parameters& parameters)
{
    if (trackerId_.isEmpty())
        return;
    QUrlQuery body;
    body.addQueryItem(QStringLiteral("v"), QStringLiteral("1"));
    body.addQueryItem(QStringLiteral("tid"), trackerId_);
    body.addQueryItem(QStringLiteral("cid"), clientId_);
    body.addQueryItem(QStringLiteral("t"), hitType);
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        body.addQueryItem(it.key(), it.value());
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        body.addQueryItem(it.key(), it.value());

    QNetworkRequest request(endpoint_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(timeoutMs_);
    QNetworkReply* reply = network_.post(request, body.toString(QUrl::FullyEncoded).toUtf8());
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply] {
        if (reply->error() != QNetworkReply::NoError)
            qCWarning(lcAnalyticsHttp) << "analytics hit not sent:" << reply->errorString();
        reply->deleteLater();
    });
}
