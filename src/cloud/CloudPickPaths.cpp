#include "CloudPickPaths.h"

QString CloudPickPaths::locationOf(const CloudItemClass& item, CloudLoginService service)
{
    return service == CloudLoginService::googleDrive ? item.googleRoute : item.path;
}

QStringList CloudPickPaths::components(const QString& location)
{
    return location.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

Qt::CaseSensitivity CloudPickPaths::caseSensitivity(CloudLoginService service)
{
    return service == CloudLoginService::googleDrive ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

bool CloudPickPaths::isSameOrInside(const QString& inner, const QString& outer, CloudLoginService service)
{
    const QStringList o = components(outer);
    const QStringList i = components(inner);
    if (o.isEmpty() || i.size() < o.size())
        return false;
    const Qt::CaseSensitivity cs = caseSensitivity(service);
    for (int k = 0; k < o.size(); ++k)
        if (i[k].compare(o[k], cs) != 0)
            return false;
    return true;
}

bool CloudPickPaths::isInside(const QString& inner, const QString& outer, CloudLoginService service)
{
    return components(inner).size() > components(outer).size() && isSameOrInside(inner, outer, service);
}

QString CloudPickPaths::identityKey(const CloudItemClass& item, CloudLoginService service)
{
    if (!item.id.isEmpty())
        return QStringLiteral("id:") + item.id;
    QString place = components(locationOf(item, service)).join(QLatin1Char('/'));
    if (caseSensitivity(service) == Qt::CaseInsensitive)
        place = place.toLower();
    return QStringLiteral("at:") + place;
}
