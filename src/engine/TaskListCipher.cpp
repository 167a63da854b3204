#include "TaskListCipher.h"

#include <memory>
#include <openssl/err.h>
#include <openssl/evp.h>

namespace {

// Every installation reads and writes the task list with this pair; changing either
// makes existing task lists unreadable.
constexpr unsigned char kKey[16] = { 0x5a, 0x6f, 0x72, 0x76, 0x69, 0x2d, 0x54, 0x61,
                                     0x73, 0x6b, 0x4c, 0x69, 0x73, 0x74, 0x4b, 0x31 };
constexpr unsigned char kIv[16] = { 0x4d, 0x6f, 0x72, 0x76, 0x61, 0x6e, 0x74, 0x65,
                                    0x6b, 0x2d, 0x49, 0x56, 0x2d, 0x30, 0x30, 0x31 };

QString opensslError(const char* what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QString::fromLatin1(what);
    char buf[256];
    ERR_error_string_n(code, buf, sizeof buf);
    return QString::fromLatin1(what) + ": " + QString::fromLatin1(buf);
}

bool run(bool encrypting, const QByteArray& in, const QByteArray& key, const QByteArray& iv,
         QByteArray& out, QString& error)
{
    out.clear();
    if (key.size() != 16 || iv.size() != 16) {
        error = QStringLiteral("The key and the IV must be 16 bytes each.");
        return false;
    }
    if (!encrypting && (in.isEmpty() || in.size() % 16 != 0)) {
        error = QStringLiteral("The data is not a whole number of 16-byte blocks.");
        return false;
    }
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!ctx) {
        error = opensslError("Cannot create the cipher");
        return false;
    }
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    const auto* v = reinterpret_cast<const unsigned char*>(iv.constData());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, k, v, encrypting ? 1 : 0) != 1) {
        error = opensslError("Cannot build the cipher");
        return false;
    }
    QByteArray buffer(in.size() + 16, Qt::Uninitialized);
    auto* dst = reinterpret_cast<unsigned char*>(buffer.data());
    int written = 0;
    if (EVP_CipherUpdate(ctx.get(), dst, &written, reinterpret_cast<const unsigned char*>(in.constData()), int(in.size())) != 1) {
        error = opensslError(encrypting ? "Encryption failed" : "Decryption failed");
        return false;
    }
    int last = 0;
    if (EVP_CipherFinal_ex(ctx.get(), dst + written, &last) != 1) {
        error = opensslError(encrypting ? "Encryption failed" : "Decryption failed (wrong key or corrupt data)");
        return false;
    }
    buffer.truncate(written + last);
    out = buffer;
    return true;
}

} // namespace

QByteArray TaskListCipher::defaultKey()
{
    return QByteArray(reinterpret_cast<const char*>(kKey), sizeof kKey);
}

QByteArray TaskListCipher::defaultIv()
{
    return QByteArray(reinterpret_cast<const char*>(kIv), sizeof kIv);
}

bool TaskListCipher::encrypt(const QByteArray& plain, const QByteArray& key, const QByteArray& iv,
                             QByteArray& out, QString& error)
{
    return run(true, plain, key, iv, out, error);
}

bool TaskListCipher::decrypt(const QByteArray& cipher, const QByteArray& key, const QByteArray& iv,
                             QByteArray& out, QString& error)
{
    return run(false, cipher, key, iv, out, error);
}
