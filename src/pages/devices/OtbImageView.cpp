#include "OtbImageView.h"

#include "ZorviImages.h"

#include <QPainter>

OtbImageView::OtbImageView(QWidget* parent)
    : QWidget(parent)
{
}

void OtbImageView::setImageName(const QString& name)
{
    if (name == name_)
        return;
    name_ = name;
    cache_ = QPixmap();
    update();
}

void OtbImageView::paintEvent(QPaintEvent*)
{
    const QSize own = ZorviImages::defaultSize(name_);
    if (own.isEmpty() || width() <= 0 || height() <= 0)
        return;
    const QSize target = own.scaled(size(), Qt::KeepAspectRatio);
    if (target.isEmpty())
        return;
    // Rendering the SVG is the costly part; a carousel card is redrawn on every animation frame.
    if (cache_.isNull() || cache_.deviceIndependentSize().toSize() != target)
        cache_ = ZorviImages::pixmap(name_, target);
    QPainter painter(this);
    painter.drawPixmap(QPoint((width() - target.width()) / 2, (height() - target.height()) / 2), cache_);
}
