#pragma once

#include "CloudItemClass.h"
#include "CloudLoginService.h"

#include <QString>
#include <QStringList>

// Where picked entries lie in an account, compared by whole path components ("/Photos" does
// not hold "/Photos2"). A Google Drive entry's place is its route; the other services' is
// its path. Dropbox and OneDrive match names without regard to case, as they do themselves.
class CloudPickPaths {
public:
    static QString locationOf(const CloudItemClass& item, CloudLoginService service);
    static QStringList components(const QString& location);
    static Qt::CaseSensitivity caseSensitivity(CloudLoginService service);
    // `inner` is `outer` or lies beneath it. An empty `outer` is no place and holds nothing.
    static bool isSameOrInside(const QString& inner, const QString& outer, CloudLoginService service);
    // `inner` lies beneath `outer`, not at it.
    static bool isInside(const QString& inner, const QString& outer, CloudLoginService service);
    // Tells two records of one service apart: the service's id, else the place. Two Google
    // Drive files of one name in one folder have one place but two ids.
    static QString identityKey(const CloudItemClass& item, CloudLoginService service);
};
