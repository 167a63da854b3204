#pragma once

#include <QString>

// The password prompt's answer to the Backup page, which compares it with the task's.
class SendPasswordDelegate {
public:
    virtual ~SendPasswordDelegate() = default;
    virtual void sendPassword(const QString& password) = 0;
};
