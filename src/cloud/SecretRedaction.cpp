#include "SecretRedaction.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace {
QJsonValue redacted(const QJsonValue& value)
{
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (SecretRedaction::isSecretName(it.key()))
                it.value() = SecretRedaction::placeholder();
            else
                it.value() = redacted(it.value());
        }
        return object;
    }
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            array[i] = redacted(array.at(i));
        return array;
    }
    return value;
}
} // namespace

QString SecretRedaction::placeholder()
{
    return QStringLiteral("<redacted>");
}

bool SecretRedaction::isSecretName(const QString& name)
{
    static const QStringList names {
        QStringLiteral("access_token"),  QStringLiteral("refresh_token"), QStringLiteral("id_token"),
        QStringLiteral("code"),          QStringLiteral("client_secret"), QStringLiteral("token"),
        QStringLiteral("state"),         QStringLiteral("code_verifier"), QStringLiteral("tempauth"),
        QStringLiteral("@microsoft.graph.downloadUrl"),
    };
    return names.contains(name, Qt::CaseInsensitive);
}

QString SecretRedaction::json(const QJsonValue& value)
{
    const QJsonValue clean = redacted(value);
    if (clean.isObject())
        return QString::fromUtf8(QJsonDocument(clean.toObject()).toJson(QJsonDocument::Compact));
    if (clean.isArray())
        return QString::fromUtf8(QJsonDocument(clean.toArray()).toJson(QJsonDocument::Compact));
    return clean.toVariant().toString();
}

QString SecretRedaction::url(const QUrl& url)
{
    QUrl clean = url.adjusted(QUrl::RemoveUserInfo);
    QUrlQuery query(clean);
    const auto items = query.queryItems(QUrl::FullyEncoded);
    if (!items.isEmpty()) {
        QUrlQuery out;
        for (const auto& [name, value] : items)
            out.addQueryItem(name, isSecretName(name) ? placeholder() : value);
        clean.setQuery(out);
    }
    return clean.toString();
}
