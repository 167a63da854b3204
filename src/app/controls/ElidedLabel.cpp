#include "ElidedLabel.h"

#include <QPainter>

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent)
    : QFrame(parent)
    , text_(text)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    updateGeometry();
    update();
}

QString ElidedLabel::displayedText() const
{
    return fontMetrics().elidedText(text_, Qt::ElideRight, contentsRect().width());
}

void ElidedLabel::setTextColor(const QColor& colour)
{
    colour_ = colour;
    update();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    update();
}

QSize ElidedLabel::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(text_), fontMetrics().height())
        + QSize(frameWidth() * 2, frameWidth() * 2);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("…")), fontMetrics().height());
}

void ElidedLabel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    p.setPen(colour_);
    p.drawText(contentsRect(), int(alignment_) | Qt::TextSingleLine, displayedText());
}
