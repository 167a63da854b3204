#include "myDateBtn.h"

#include "ControlStyle.h"

#include <QMouseEvent>

myDateBtn::myDateBtn(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(32, 26);
    applyLook(Qt::black, false);
}

void myDateBtn::applyLook(const QColor& title, bool bold)
{
    title_ = title;
    bold_ = bold;
    setStyleSheet(QStringLiteral("QPushButton { color: %1; background: #FFFFFF; border: 1px solid #C7C7CC;"
                                 " border-radius: 3px; %2 }")
                      .arg(ControlStyle::css(title), ControlStyle::cssFont(13, bold)));
}

void myDateBtn::toggleClickFlag()
{
    if (!clickFlag)
        applyLook(chosenColor(), true);
    else
        applyLook(Qt::black, false);
    clickFlag = !clickFlag;
}

void myDateBtn::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    toggleClickFlag();
}

void myDateBtn::mouseReleaseEvent(QMouseEvent* event)
{
    // The press did all there is; no click, no action.
    event->accept();
}
