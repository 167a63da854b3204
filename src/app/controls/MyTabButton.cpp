#include "MyTabButton.h"

#include "ControlStyle.h"

MyTabButton::MyTabButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setMinimumHeight(40);
    setBackgroundColor(normalColor());
}

void MyTabButton::setBackgroundColor(const QColor& colour)
{
    background_ = colour;
    // A disabled tab (no maker drive attached) shows greyed text so it does not look clickable.
    setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: none; text-align: left;"
                                 " padding-left: 16px; %3 } QPushButton:disabled { color: %4; }")
                      .arg(ControlStyle::css(colour), ControlStyle::css(QColor(26, 26, 26)), ControlStyle::cssFont(16),
                           ControlStyle::css(QColor(142, 142, 147))));
}

void MyTabButton::setSelected(bool selected)
{
    isSelected = selected;
    setBackgroundColor(selected ? selectedColor() : normalColor());
}

void MyTabButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    if (!isSelected)
        setBackgroundColor(hoverColor());
}

void MyTabButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    if (!isSelected)
        setBackgroundColor(normalColor());
}
