#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <set>
#include <sys/types.h>
#include <utility>

// Sums sizes over everything below a folder in one walk, a few folders at a time on other
// threads, that never follows symbolic links.
// Folders themselves count nothing; what cannot be read counts 0, and the walk can say where.
class TreeSize {
public:
    enum class Measure {
        Apparent,  // byte length (st_size)
        Allocated, // space taken on disk (st_blocks * 512)
    };

    // (st_dev, st_ino) of files with several names that were counted already.
    using SeenInodes = std::set<std::pair<dev_t, ino_t>>;

    // Sum over the descendants of the folder at `path` (the folder itself is not counted).
    // With `seen`, a file with several names counts once, also across calls sharing the set.
    // With `unreadable`, one line "<folder>: <reason>" is added for each folder, `path`
    // included, that could not be opened, listed to its end or have an entry examined: what
    // it holds is missing from the sum. Our work folders below are left out, and listed in
    // `workFolders`. Returns false when the folder cannot be opened.
    static bool sumBelow(const QString& path, Measure measure, qint64& total, SeenInodes* seen = nullptr,
                         QStringList* unreadable = nullptr, QStringList* workFolders = nullptr);
};
