#pragma once

#include <QString>

// The decryption password dialog's answers to the main window. A dialog opened for a
// decryption calls only decryptFile; one opened for an encrypted restore calls only
// restoreWithPassword.
class DecryptDelegate {
public:
    virtual ~DecryptDelegate() = default;
    virtual void decryptFile(const QString& path, const QString& password) = 0;
    virtual void restoreWithPassword(const QString& password) = 0;
};
