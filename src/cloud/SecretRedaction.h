#pragma once

#include <QJsonValue>
#include <QString>
#include <QUrl>

// Diagnostics print service answers and addresses; these helpers keep tokens, codes and
// pre-authenticated download addresses out of them.
class SecretRedaction {
public:
    static QString placeholder();
    // Compact JSON with the values of secret members replaced, at any depth.
    static QString json(const QJsonValue& value);
    // The address with secret query items (code, tokens, state) and any pre-authenticated
    // query replaced.
    static QString url(const QUrl& url);
    static bool isSecretName(const QString& name);
};
