#pragma once

#include <QString>

// The passwords an encrypted archive is written and opened with.
class ArchivePassword {
public:
    // MD5 of the UTF-8 bytes as 32 lower-case hexadecimal digits.
    static QString md5Hex(const QString& text);
    // Three rounds of md5Hex, each upper-cased: what task archives are encrypted with.
    static QString archivePassword(const QString& password);
    // The typed password followed by a fixed 12-character suffix: the second form tried on open.
    static QString suffixForm(const QString& password);
};
