#include "PkceCodes.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {
constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
}

PkceCodes PkceCodes::generate()
{
    PkceCodes codes;
    codes.verifier = randomUrlSafe(32);
    codes.challenge = challengeFor(codes.verifier);
    return codes;
}

QByteArray PkceCodes::challengeFor(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kBase64Url);
}

QByteArray PkceCodes::randomUrlSafe(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(raw.data()), bytes / 4);
    for (int i = bytes / 4 * 4; i < bytes; ++i)
        raw[i] = char(QRandomGenerator::system()->bounded(256));
    return raw.toBase64(kBase64Url);
}
