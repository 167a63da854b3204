#include "CloudRateLimit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <algorithm>
#include <limits>

std::optional<int> CloudRateLimit::pause(int done, const QByteArray& retryAfter) const
{
    if (done >= tries)
        return std::nullopt;
    const QByteArray text = retryAfter.trimmed();
    qint64 ms = -1;
    bool number = false;
    const qint64 seconds = text.toLongLong(&number);
    if (number && seconds >= 0) {
        ms = seconds > std::numeric_limits<qint64>::max() / std::max(secondMs, 1) ? std::numeric_limits<qint64>::max()
                                                                                 : seconds * secondMs;
    } else if (!text.isEmpty()) {
        // An HTTP date: the pause is what is left until then, in our seconds.
        const QDateTime until = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
        if (until.isValid())
            ms = std::max<qint64>(QDateTime::currentDateTimeUtc().secsTo(until), 0) * secondMs;
    }
    if (ms < 0)
        ms = qint64(backoffMs) << std::clamp(done - 1, 0, 20);
    return int(std::clamp<qint64>(ms, 0, maxWaitMs));
}

bool CloudRateLimit::isLimited(int status, const QByteArray& retryAfter, const QByteArray& body)
{
    if (status == 429 || (status == 503 && !retryAfter.trimmed().isEmpty()))
        return true;
    if (status != 403)
        return false;
    const QJsonObject error = QJsonDocument::fromJson(body).object().value(QLatin1String("error")).toObject();
    if (error.value(QLatin1String("message")).toString().contains(QLatin1String("Rate Limit Exceeded")))
        return true;
    const QJsonArray errors = error.value(QLatin1String("errors")).toArray();
    return std::any_of(errors.begin(), errors.end(), [](const QJsonValue& e) {
        const QString reason = e.toObject().value(QLatin1String("reason")).toString();
        return reason == QLatin1String("rateLimitExceeded") || reason == QLatin1String("userRateLimitExceeded");
    });
}

bool CloudRateLimit::isLimited(QNetworkReply* reply, const QByteArray& body)
{
    return isLimited(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     reply->rawHeader("Retry-After"), body);
}

QString CloudRateLimit::remark()
{
    return QCoreApplication::translate("CloudRateLimit",
                                       "The service kept answering that too many requests were made. "
                                       "Try this file again later.");
}
