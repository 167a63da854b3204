#include "CloudBoxButton.h"

#include "ControlStyle.h"
#include "ZorviImages.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

CloudBoxButton::CloudBoxButton(QWidget* parent)
    : QPushButton(parent)
{
    setFixedSize(346, 230);
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    layoutBoxContent(false);
}

QLabel* CloudBoxButton::pictureView() const
{
    return findChild<QLabel*>(QStringLiteral("100"), Qt::FindDirectChildrenOnly);
}

QLabel* CloudBoxButton::titleView() const
{
    return findChild<QLabel*>(QStringLiteral("101"), Qt::FindDirectChildrenOnly);
}

void CloudBoxButton::layoutBoxContent(bool hover)
{
    // Deleted at once, not later: a second redraw must not find the old views.
    delete pictureView();
    delete titleView();

    if (ZorviImages::exists(boxBtnImageName)) {
        auto* picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("100"));
        picture->setAttribute(Qt::WA_TransparentForMouseEvents);
        picture->setAlignment(Qt::AlignCenter);
        picture->setGeometry(30, 20, 280, 180);
        picture->setPixmap(ZorviImages::pixmap(boxBtnImageName, QSize(280, 180)));
        picture->show();
    }

    auto* title = new QLabel(this);
    title->setObjectName(QStringLiteral("101"));
    title->setAttribute(Qt::WA_TransparentForMouseEvents);
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(23, 170, 300, 50);
    const QColor colour = hover ? ControlStyle::accentBlue() : ControlStyle::greyText();
    title->setStyleSheet(QStringLiteral("color: %1; background: transparent; %2")
                             .arg(ControlStyle::css(colour), ControlStyle::cssFont(16)));
    title->setText(title->fontMetrics().elidedText(boxBtnTitle, Qt::ElideRight, 300));
    title->setToolTip(boxBtnTitle);
    title->show();
    setAccessibleName(boxBtnTitle);
}

void CloudBoxButton::mouseEntered()
{
    hovered_ = true;
    faceImage_ = QStringLiteral("img_security_select");
    layoutBoxContent(true);
    update();
}

void CloudBoxButton::mouseExited()
{
    hovered_ = false;
    faceImage_ = QStringLiteral("img_security_normal");
    layoutBoxContent(false);
    update();
}

void CloudBoxButton::paintEvent(QPaintEvent*)
{
    // Drawn without a pressed state, so a clicked tile does not darken.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), ZorviImages::pixmap(faceImage_, size()));
}

void CloudBoxButton::mouseMoveEvent(QMouseEvent* event)
{
    const bool inside = rect().adjusted(inset, inset, -inset, -inset).contains(event->position().toPoint());
    if (inside && !hovered_)
        mouseEntered();
    else if (!inside && hovered_)
        mouseExited();
    QPushButton::mouseMoveEvent(event);
}

void CloudBoxButton::leaveEvent(QEvent* event)
{
    if (hovered_)
        mouseExited();
    QPushButton::leaveEvent(event);
}
