#include "SecurityBoxButton.h"

#include "ControlStyle.h"
#include "ZorviImages.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int kInset = 15;
}

SecurityBoxButton::SecurityBoxButton(const QString& identifier, QWidget* parent)
    : QPushButton(parent)
{
    setObjectName(identifier);
    setFixedSize(350, 230);
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);

    icon_ = new QLabel(this);
    icon_->setObjectName(QStringLiteral("100"));
    icon_->setAttribute(Qt::WA_TransparentForMouseEvents);
    icon_->setAlignment(Qt::AlignCenter);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("101"));
    title_->setAttribute(Qt::WA_TransparentForMouseEvents);
    title_->setAlignment(Qt::AlignCenter);
    if (identifier == QLatin1String("encryptBtn"))
        title_->setText(tr("Encrypt"));
    else if (identifier == QLatin1String("decryptBtn"))
        title_->setText(tr("Decrypt"));
    setAccessibleName(title_->text());
    applyLook();
}

QString SecurityBoxButton::iconImage() const
{
    const QString colour = hovered_ ? QStringLiteral("blue") : QStringLiteral("grey");
    if (objectName() == QLatin1String("encryptBtn"))
        return QStringLiteral("ic_security_encrypt_") + colour;
    if (objectName() == QLatin1String("decryptBtn"))
        return QStringLiteral("ic_security_dencrypt_") + colour;
    return QString();
}

void SecurityBoxButton::applyLook()
{
    const QString icon = iconImage();
    icon_->setPixmap(icon.isEmpty() ? QPixmap() : ZorviImages::pixmap(icon, QSize(200, 180)));
    const QColor colour = hovered_ ? ControlStyle::accentBlue() : ControlStyle::greyText();
    title_->setStyleSheet(QStringLiteral("color: %1; background: transparent; %2")
                              .arg(ControlStyle::css(colour), ControlStyle::cssFont(16)));
    update();
}

void SecurityBoxButton::mouseEntered()
{
    if (hovered_)
        return;
    hovered_ = true;
    applyLook();
}

void SecurityBoxButton::mouseExited()
{
    if (!hovered_)
        return;
    hovered_ = false;
    applyLook();
}

void SecurityBoxButton::resizeEvent(QResizeEvent* event)
{
    QPushButton::resizeEvent(event);
    icon_->setGeometry((width() - 200) / 2, 10, 200, 180);
    title_->setGeometry(0, height() - 60, width(), 30);
}

void SecurityBoxButton::paintEvent(QPaintEvent*)
{
    // Drawn without a pressed state, so a clicked box does not darken.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), ZorviImages::pixmap(faceImage(), size()));
}

void SecurityBoxButton::mouseMoveEvent(QMouseEvent* event)
{
    if (rect().adjusted(kInset, kInset, -kInset, -kInset).contains(event->position().toPoint()))
        mouseEntered();
    else
        mouseExited();
    QPushButton::mouseMoveEvent(event);
}

void SecurityBoxButton::leaveEvent(QEvent* event)
{
    mouseExited();
    QPushButton::leaveEvent(event);
}
