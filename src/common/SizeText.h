#pragma once

#include <QString>
#include <QtGlobal>

// The size text shared by the backup engine and the cloud clients: "%.1f" and " byte",
// " KB", " MB", " GB", " TB" in steps of 1024; "Large" beyond.
class SizeText {
public:
    SizeText() = delete;

    static QString format(qint64 bytes);
};
