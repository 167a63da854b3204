#pragma once

#include <QString>

// How a Dropbox sign-in ended.
struct DropboxOAuthResult {
    enum class Kind { success, error, cancel };

    Kind kind = Kind::cancel;
    QString accountId;   // success: the signed-in account, for the log line
    QString description; // error: what went wrong, for the user and the log

    static DropboxOAuthResult success(const QString& accountId) { return {Kind::success, accountId, {}}; }
    static DropboxOAuthResult error(const QString& description) { return {Kind::error, {}, description}; }
    static DropboxOAuthResult cancelled() { return {Kind::cancel, {}, {}}; }
};
