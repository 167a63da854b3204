#pragma once

#include <QList>
#include <QString>

#include <optional>

// Reads the item names of a 7z archive from its header, as stored. 7zz's listing shows a line
// feed in a name as "_", so the names that hold one are taken from here. The header may be
// compressed (LZMA, LZMA2) and encrypted (AES-256 with 7-Zip's key derivation); other coders
// are not read.
namespace SevenZipHeader {
// The names in archive order as the UTF-16 code units stored, or nothing with `error` set.
std::optional<QList<QString>> readNames(const QString& archivePath, const QString& password, QString* error);
}
