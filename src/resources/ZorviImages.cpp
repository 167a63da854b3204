#include "ZorviImages.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

static void initZorviImagesResource()
{
    Q_INIT_RESOURCE(images);
}

void ZorviImages::ensureLoaded()
{
    static const bool once = [] {
        initZorviImagesResource();
        return true;
    }();
    (void)once;
}

QString ZorviImages::path(const QString& name)
{
    return QStringLiteral(":/images/%1.svg").arg(name);
}

bool ZorviImages::exists(const QString& name)
{
    ensureLoaded();
    return !name.isEmpty() && QFile::exists(path(name));
}

QSize ZorviImages::defaultSize(const QString& name)
{
    if (!exists(name))
        return {};
    QSvgRenderer renderer(path(name));
    return renderer.defaultSize();
}

QIcon ZorviImages::icon(const QString& name)
{
    if (!exists(name))
        return {};
    return QIcon(path(name));
}

QPixmap ZorviImages::pixmap(const QString& name, const QSize& size)
{
    if (!exists(name))
        return {};
    QSvgRenderer renderer(path(name));
    if (!renderer.isValid())
        return {};
    const QSize target = size.isEmpty() ? renderer.defaultSize() : size;
    const qreal dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pm(target * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    return pm;
}

QPixmap ZorviImages::tinted(const QString& name, const QColor& colour, const QSize& size)
{
    QPixmap pm = pixmap(name, size);
    if (pm.isNull())
        return pm;
    QPainter painter(&pm);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRect(QPoint(0, 0), pm.size()), colour);
    return pm;
}
