#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

// The claims of a JSON Web Token (RFC 7519), read without checking its signature: the token
// comes straight from the provider's token endpoint over our own request.
class JwtPayload {
public:
    // The payload (second "."-separated part) as base64, padded with "=" to a multiple of 4
    // and turned from the URL alphabet into the standard one.
    static QByteArray paddedBase64(const QByteArray& payload);
    // The payload object; none when the token has fewer than two parts, is not base64 or its
    // payload is not a JSON object.
    static std::optional<QJsonObject> decode(const QString& token);
};
