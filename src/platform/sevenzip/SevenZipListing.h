#pragma once

#include "LzmaSDKObjCItem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

// Reads what "7zz l -slt" prints (run with TZ=UTC) in one pass over its lines.
namespace SevenZipListing {
QList<LzmaSDKObjCItem> parse(const QByteArray& output);
// The "drwxr-xr-x" form 7zz prints after the attribute letters, as st_mode; 0 for anything else.
quint32 parseModeText(QByteArrayView text);
// "2024-05-01 12:30:45.1234567" (UTC) as seconds and nanoseconds since the epoch.
bool parseTime(QByteArrayView text, qint64* seconds, int* nanoseconds);
// A stored name's components: "/" and "\" both separate, empty ones are dropped.
QStringList components(const QString& storedName);
}
