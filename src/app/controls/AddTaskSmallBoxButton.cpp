#include "AddTaskSmallBoxButton.h"

#include "ControlStyle.h"

AddTaskSmallBoxButton::AddTaskSmallBoxButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setMinimumSize(120, 32);
    applyLook(QColor());
}

void AddTaskSmallBoxButton::applyLook(const QColor& border)
{
    border_ = border;
    const QString outline = border.isValid() ? QStringLiteral("1px solid %1").arg(ControlStyle::css(border))
                                             : QStringLiteral("1px solid %1").arg(ControlStyle::css(faceColor()));
    setStyleSheet(QStringLiteral("QPushButton { color: #FFFFFF; background: %1; border: %2; padding: 4px 14px; %3 }")
                      .arg(ControlStyle::css(faceColor()), outline, ControlStyle::cssFont(16)));
}

void AddTaskSmallBoxButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    applyLook(ControlStyle::accentBlue());
}

void AddTaskSmallBoxButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    applyLook(QColor());
}
