#include "CloudPathItem.h"

#include "ZorviImages.h"

CloudPathItem::CloudPathItem(const QString& title, const QString& pathID)
    : title(title)
    , pathID(pathID)
{
}

QString CloudPathItem::imageName() const
{
    return title == QLatin1String("root") ? QStringLiteral("ic_cloudpicker_home") : QStringLiteral("ic_cloudpicker_folder");
}

QPixmap CloudPathItem::image() const
{
    return ZorviImages::pixmap(imageName(), QSize(16, 16));
}
