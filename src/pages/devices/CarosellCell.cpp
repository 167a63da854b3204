#include "CarosellCell.h"

#include "CarosellDelegate.h"
#include "ControlStyle.h"
#include "MakerProducts.h"
#include "OtbImageView.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

CarosellCell::CarosellCell(const QString& deviceName, const QRect& frame, QWidget* parent)
    : QWidget(parent)
    , deviceName(deviceName)
    , imageName(deviceName.isNull() ? QString() : MakerProducts::modelPictureName(deviceName))
{
    setGeometry(frame);
    layoutCell();
}

CarosellCell::CarosellCell(QWidget* parent)
    : QWidget(parent)
{
}

void CarosellCell::layoutCell()
{
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(128, 128, 128, 178));
    shadow->setOffset(3, 3);
    shadow->setBlurRadius(6);
    setGraphicsEffect(shadow);

    title = new QLabel(deviceName.isNull() ? QStringLiteral("DeviceView") : deviceName, this);
    title->setAlignment(Qt::AlignCenter);
    title->setFont(ControlStyle::font(17, true));
    title->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
    title->setAttribute(Qt::WA_TransparentForMouseEvents);

    imageLayer = new OtbImageView(this);
    imageLayer->setImageName(imageName);
    imageLayer->setAttribute(Qt::WA_TransparentForMouseEvents);
    placeChildren();
}

void CarosellCell::placeChildren()
{
    if (!title)
        return;
    // Picture above, name below it, both following the card while it moves and grows.
    imageLayer->setGeometry(0, 12, width(), std::max(0, height() - 52));
    title->setGeometry(5, std::max(0, height() - 40), std::max(0, width() - 10), 30);
}

void CarosellCell::setBorderWidth(int width)
{
    borderWidth_ = width;
    update();
}

void CarosellCell::doClickView()
{
    if (delegate)
        delegate->cellClicked(this);
}

void CarosellCell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (borderWidth_ > 0) {
        const qreal half = borderWidth_ / 2.0;
        painter.setPen(QPen(highlightColor(), borderWidth_));
        painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
    }
}

void CarosellCell::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeChildren();
}

void CarosellCell::mousePressEvent(QMouseEvent* event)
{
    event->setAccepted(event->button() == Qt::LeftButton);
}

void CarosellCell::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        doClickView();
}
