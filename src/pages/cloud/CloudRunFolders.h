#pragma once

#include "CloudItemClass.h"
#include "CloudLoginService.h"

#include <QList>
#include <QString>
#include <optional>

// The folders a download run needs under its destination, made before the run starts: each
// picked folder itself and the folder of each file, as they lie in the account. An entry whose
// place would leave the destination gets none; the run fails it with its own remark.
class CloudRunFolders {
public:
    // Makes what `items` need under `destination`; what cannot be made is logged, not fatal.
    static void make(const QList<CloudItemPtr>& items, const QString& destination, CloudLoginService service);

    // "/a/b/c.txt" gives "/a/b"; a path of one part or none gives "".
    static QString parentPathOf(const QString& path);
    // The folder an entry needs under the destination, relative to it: a folder itself, a
    // file's parent. Empty for the destination itself; null when the entry names no safe place.
    static std::optional<QString> relativeFolderOf(const CloudItemClass& item, CloudLoginService service);
};
