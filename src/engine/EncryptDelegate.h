#pragma once

#include <QString>

// The encryption password dialog's answer to the main window.
class EncryptDelegate {
public:
    virtual ~EncryptDelegate() = default;
    virtual void encryptFiles(const QString& path, const QString& password) = 0;
};
