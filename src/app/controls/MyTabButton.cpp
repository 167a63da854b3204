#include "MyTabButton.h"

#include "ControlStyle.h"

#include <QEvent>

MyTabButton::MyTabButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setMinimumHeight(40);
    restyle();
}

void MyTabButton::setBackgroundColor(const QColor& colour)
{
    background_ = colour;
    // Explicit colours rather than a :disabled rule, which would grey the current tab too.
    title_ = isSelected || isEnabled() ? textColor() : disabledTextColor();
    setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: none; text-align: left;"
                                 " padding-left: 16px; %3 }")
                      .arg(ControlStyle::css(colour), ControlStyle::css(title_), ControlStyle::cssFont(16)));
}

void MyTabButton::restyle()
{
    setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (isSelected)
        setBackgroundColor(selectedColor());
    else
        setBackgroundColor(hovered_ && isEnabled() ? hoverColor() : normalColor());
}

void MyTabButton::setSelected(bool selected)
{
    isSelected = selected;
    restyle();
}

void MyTabButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    hovered_ = true;
    restyle();
}

void MyTabButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    hovered_ = false;
    restyle();
}

void MyTabButton::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    // A tab switched off under the mouse must not keep its hover face.
    if (event->type() == QEvent::EnabledChange)
        restyle();
}
