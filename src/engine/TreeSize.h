#pragma once

#include <QString>
#include <QtGlobal>

// Sums sizes over everything below a folder in one walk that never follows symbolic links.
// Folders themselves count nothing; unreadable items count 0.
class TreeSize {
public:
    enum class Measure {
        Apparent,  // byte length (st_size)
        Allocated, // space taken on disk (st_blocks * 512)
    };

    // Sum over the descendants of the folder at `path` (the folder itself is not counted).
    // Returns false when the folder cannot be opened.
    static bool sumBelow(const QString& path, Measure measure, qint64& total);
};
