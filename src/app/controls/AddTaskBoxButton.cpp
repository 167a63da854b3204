#include "AddTaskBoxButton.h"

#include "ControlStyle.h"
#include "ZorviImages.h"

#include <QLabel>
#include <QPainter>

AddTaskBoxButton::AddTaskBoxButton(const QString& identifier, QWidget* parent)
    : QPushButton(parent)
    , identifier_(identifier)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(320, 270);
    drawContent(false);
}

void AddTaskBoxButton::setIdentifier(const QString& identifier)
{
    identifier_ = identifier;
    drawContent(false);
}

void AddTaskBoxButton::drawContent(bool hovered)
{
    for (QObject* child : children()) {
        const int tag = child->property("tag").toInt();
        if (tag == pictureTag || tag == textTag)
            delete child;
    }

    const bool source = identifier_ == QLatin1String("Source");
    if (source) {
        iconName_ = hovered ? QStringLiteral("ic_newtask_addfiles_blue") : QStringLiteral("ic_newtask_addfiles_grey");
        labelText_ = tr("Add Files");
    } else {
        iconName_ = hovered ? QStringLiteral("ic_newtask_destination_blue") : QStringLiteral("ic_newtask_destination_grey");
        labelText_ = tr("Destination");
    }
    imageName_ = hovered ? QStringLiteral("img_newtask_select") : QStringLiteral("img_newtask_normal");
    textColor_ = hovered ? ControlStyle::accentBlue() : ControlStyle::greyText();

    auto* picture = new QLabel(this);
    picture->setProperty("tag", pictureTag);
    picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(ZorviImages::pixmap(iconName_));
    picture->setGeometry(60, 10, 200, 180);
    picture->show();

    auto* text = new QLabel(labelText_, this);
    text->setProperty("tag", textTag);
    text->setAttribute(Qt::WA_TransparentForMouseEvents);
    text->setAlignment(Qt::AlignCenter);
    text->setStyleSheet(QStringLiteral("QLabel { color: %1; background: transparent; %2 }")
                            .arg(ControlStyle::css(textColor_), ControlStyle::cssFont(16, true)));
    text->setGeometry(36, 160, 250, 100);
    text->show();

    update();
}

void AddTaskBoxButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    drawContent(true);
}

void AddTaskBoxButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    drawContent(false);
}

void AddTaskBoxButton::paintEvent(QPaintEvent*)
{
    // The box face only: no bevel, no pressed look.
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(rect(), ZorviImages::pixmap(imageName_, size()));
}
