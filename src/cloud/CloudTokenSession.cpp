#include "CloudTokenSession.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <limits>

CloudTokenSession::CloudTokenSession(QNetworkAccessManager* manager, int transferTimeoutMs, int secondMs,
                                     std::function<void()> refresh)
    : manager_(manager)
    , transferTimeoutMs_(transferTimeoutMs)
    , secondMs_(secondMs)
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(refresh));
}

bool CloudTokenSession::canRefresh() const
{
    return !reToken_.isEmpty() && !refreshReply_;
}

void CloudTokenSession::setRefreshReply(QNetworkReply* reply)
{
    refreshReply_ = reply;
}

bool CloudTokenSession::take(const QJsonObject& answer, bool refresh)
{
    const QJsonValue access = answer.value(QStringLiteral("access_token"));
    if (!access.isString())
        return false;
    token_ = access.toString();
    const QJsonValue expires = answer.value(QStringLiteral("expires_in"));
    const bool expiresKnown = expires.isDouble() && expires.toDouble() == double(expires.toInteger());
    const QJsonValue renewal = answer.value(QStringLiteral("refresh_token"));
    if (expiresKnown && renewal.isString())
        reToken_ = renewal.toString();
    if (expiresKnown && (renewal.isString() || (refresh && !reToken_.isEmpty()))) {
        const qint64 ms = std::max<qint64>(expires.toInteger(), 1) * secondMs_;
        timer_.start(int(std::min<qint64>(ms, std::numeric_limits<int>::max())));
    }
    return true;
}

void CloudTokenSession::forget()
{
    token_.clear();
    reToken_.clear();
    timer_.stop();
    ++session_;
}

QNetworkRequest CloudTokenSession::bearerRequest(const QUrl& url) const
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs_);
    request.setRawHeader("Authorization", "Bearer " + token_.toUtf8());
    return request;
}

QNetworkReply* CloudTokenSession::postForm(const QString& url, const QList<QPair<QString, QString>>& fields) const
{
    QUrlQuery form;
    for (const auto& [name, value] : fields)
        form.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    QNetworkRequest request { QUrl(url) };
    request.setTransferTimeout(transferTimeoutMs_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    return manager_->post(request, form.toString(QUrl::FullyEncoded).toLatin1());
}
