#pragma once

#include <QString>
#include <optional>

// Where a cloud entry lands under a local destination. Cloud names come from the network:
// a name "..", a "/" or NUL inside a name, or a decoded parent path must never lead
// outside the destination.
class CloudLocalPath {
public:
    // destination + the components of cloudPath ("/"-separated; empty components are
    // skipped). None when there is no component, a component is "." or "..", the path holds
    // NUL, or the result would not lie strictly under the destination.
    static std::optional<QString> resolve(const QString& destination, const QString& cloudPath);
    // The folder that holds `localPath` (its last component dropped).
    static QString parentOf(const QString& localPath);
};
