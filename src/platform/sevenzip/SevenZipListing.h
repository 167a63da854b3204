#pragma once

#include "LzmaSDKObjCItem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// Reads what "7zz l -slt" prints (run with TZ=UTC) in one pass over its lines.
namespace SevenZipListing {
QList<LzmaSDKObjCItem> parse(const QByteArray& output);
// The "drwxr-xr-x" form 7zz prints after the attribute letters, as st_mode; 0 for anything else.
quint32 parseModeText(QByteArrayView text);
// "2024-05-01 12:30:45.1234567" (UTC) as seconds and nanoseconds since the epoch.
bool parseTime(QByteArrayView text, qint64* seconds, int* nanoseconds);
// A stored name's components: "/" separates, empty ones are dropped.
QStringList components(const QString& storedName);
// Names are bytes, and not every name is UTF-8: a byte that is not part of a UTF-8 sequence
// becomes a lone surrogate (U+DC80-U+DCFF), so that encodeName() gives back exactly the
// stored bytes where QFile::encodeName() would give U+FFFD's.
QString decodeName(QByteArrayView bytes);
QByteArray encodeName(const QString& name);
}
