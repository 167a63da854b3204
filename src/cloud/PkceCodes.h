#pragma once

#include <QByteArray>

// The proof key of an OAuth code flow for a public client: a random verifier kept by us and
// its S256 challenge, which goes into the authorize address.
struct PkceCodes {
    QByteArray verifier;  // 43 characters of base64url
    QByteArray challenge; // base64url(SHA-256(verifier)), no padding

    static PkceCodes generate();
    static QByteArray challengeFor(const QByteArray& verifier);
    // `bytes` random bytes from the system generator as base64url text without padding;
    // also used for the sign-in's state value.
    static QByteArray randomUrlSafe(int bytes);
};
