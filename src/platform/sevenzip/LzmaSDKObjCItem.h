#pragma once

#include <QString>

#include <optional>

// One archive entry, as listed by 7zz.
class LzmaSDKObjCItem {
public:
    QString path;          // stored name as listed (absolute names keep their leading "/")
    bool isDirectory = false;
    bool isSymlink = false;
    qint64 size = 0;
    quint32 unixMode = 0;  // stored st_mode, type bits included; 0 when the archive holds none
    std::optional<quint32> crc;
    // Stored modification time (UTC); archives written without times have none.
    qint64 modifiedSeconds = 0;
    int modifiedNanoseconds = -1;   // -1: no time stored

    bool hasModified() const { return modifiedNanoseconds >= 0; }
};
