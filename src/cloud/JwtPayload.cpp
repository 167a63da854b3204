#include "JwtPayload.h"

#include <QJsonDocument>

QByteArray JwtPayload::paddedBase64(const QByteArray& payload)
{
    QByteArray out = payload;
    const qsizetype missing = (4 - out.size() % 4) % 4;
    out.append(missing, '=');
    out.replace('-', '+');
    out.replace('_', '/');
    return out;
}

std::optional<QJsonObject> JwtPayload::decode(const QString& token)
{
    const QList<QByteArray> parts = token.toLatin1().split('.');
    if (parts.size() < 2)
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(paddedBase64(parts.at(1)),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(*decoded, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}
