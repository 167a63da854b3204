#pragma once

#include <QString>
#include <QtGlobal>

// The size text of the Backup and Restore rows: bytes up to 1024, then KB, MB and GB
// (no TB step), computed in single precision.
class TaskSizeText {
public:
    static QString text(qint64 bytes);
};
