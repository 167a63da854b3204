#include "ProgressRing.h"

#include "ControlStyle.h"

#include <QPainter>

ProgressRing::ProgressRing(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    timer_.setInterval(40);
    connect(&timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        update();
    });
}

void ProgressRing::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = 2.0;
    const QRectF r = QRectF(rect()).adjusted(w, w, -w, -w);
    p.setPen(QPen(QColor(199, 199, 204), w));
    p.drawEllipse(r);
    p.setPen(QPen(ControlStyle::accentBlue(), w, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(r, -angle_ * 16, 100 * 16);
}

void ProgressRing::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    timer_.start();
}

void ProgressRing::hideEvent(QHideEvent* event)
{
    timer_.stop();
    QWidget::hideEvent(event);
}
