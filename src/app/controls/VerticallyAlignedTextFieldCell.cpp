#include "VerticallyAlignedTextFieldCell.h"

#include <QPainter>

VerticallyAlignedTextFieldCell::VerticallyAlignedTextFieldCell(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setWordWrap(true);
}

QRect VerticallyAlignedTextFieldCell::drawingRectForBounds(const QRect& bounds)
{
    return QRect(0, (bounds.height() - bandHeight) / 2, bounds.width(), bandHeight);
}

void VerticallyAlignedTextFieldCell::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect band = drawingRectForBounds(rect());
    p.setClipRect(band);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(band, int(alignment()) | Qt::TextWordWrap, text());
}
