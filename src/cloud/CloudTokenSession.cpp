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

bool CloudTokenSession::beginRefresh()
{
    if (refreshReply_)
        return false;
    if (reToken_.isEmpty()) {
        expired_ = !token_.isEmpty();
        return false;
    }
    return true;
}

void CloudTokenSession::setRefreshReply(QNetworkReply* reply)
{
    refreshReply_ = reply;
}

bool CloudTokenSession::take(const QJsonObject& answer, bool refresh)
{
    const QJsonValue access = answer.value(QStringLiteral("access_token"));
    if (!access.isString()) {
        if (refresh && answer.contains(QStringLiteral("error")))
            expired_ = true;
        return false;
    }
    token_ = access.toString();
    expired_ = false;
    const QJsonValue expires = answer.value(QStringLiteral("expires_in"));
    const bool expiresKnown = expires.isDouble() && expires.toDouble() == double(expires.toInteger());
    const QJsonValue renewal = answer.value(QStringLiteral("refresh_token"));
    if (expiresKnown && renewal.isString())
        reToken_ = renewal.toString();
    if (expiresKnown && (renewal.isString() || (refresh && !reToken_.isEmpty()))) {
        const qint64 life = std::max<qint64>(expires.toInteger(), 1) * secondMs_;
        const qint64 margin = std::min<qint64>(qint64(RenewMarginSeconds) * secondMs_, life / 5);
        timer_.start(int(std::min<qint64>(life - margin, std::numeric_limits<int>::max())));
    }
    return true;
}

void CloudTokenSession::forget()
{
    token_.clear();
    reToken_.clear();
    timer_.stop();
    expired_ = false;
    ++session_;
}

QNetworkRequest CloudTokenSession::pinnedRequest(const QUrl& url, int transferTimeoutMs)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

QNetworkRequest CloudTokenSession::bearerRequest(const QUrl& url) const
{
    QNetworkRequest request = pinnedRequest(url, transferTimeoutMs_);
    request.setRawHeader("Authorization", "Bearer " + token_.toUtf8());
    return request;
}

QNetworkReply* CloudTokenSession::postForm(const QString& url, const QList<QPair<QString, QString>>& fields) const
{
    QUrlQuery form;
    for (const auto& [name, value] : fields)
        form.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    QNetworkRequest request = pinnedRequest(QUrl(url), transferTimeoutMs_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    return manager_->post(request, form.toString(QUrl::FullyEncoded).toLatin1());
}
