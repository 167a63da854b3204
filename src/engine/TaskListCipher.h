#pragma once

#include <QByteArray>
#include <QString>

// AES-128-CBC with PKCS#7 padding over a whole buffer, as the task-list file uses it.
// The fixed key and IV of the task-list file are defined here and nowhere else.
class TaskListCipher {
public:
    static QByteArray defaultKey(); // 16 bytes
    static QByteArray defaultIv();  // 16 bytes

    // Both return false (with a reason in `error`) when the key or IV is not 16 bytes,
    // or when the cipher fails (for decryption: wrong key or corrupt padding).
    static bool encrypt(const QByteArray& plain, const QByteArray& key, const QByteArray& iv,
                        QByteArray& out, QString& error);
    static bool decrypt(const QByteArray& cipher, const QByteArray& key, const QByteArray& iv,
                        QByteArray& out, QString& error);
};
