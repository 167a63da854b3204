#include "MainTagBtn.h"

#include "ControlStyle.h"

MainTagBtn::MainTagBtn(const QString& title, QWidget* parent)
    : QPushButton(title, parent)
{
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(30);
    setSelectedLook(false);
}

void MainTagBtn::setSelectedLook(bool selected)
{
    selected_ = selected;
    const QColor face = selected ? accent() : QColor(Qt::white);
    const QColor title = selected ? QColor(Qt::white) : accent();
    setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; padding: 0 %4px; %5 }")
                      .arg(ControlStyle::css(face), ControlStyle::css(title), ControlStyle::css(accent()))
                      .arg(int(horizontalPadding / 2))
                      .arg(ControlStyle::cssFont(13)));
}

QSize MainTagBtn::sizeHint() const
{
    const QSize base = QPushButton::sizeHint();
    return QSize(base.width() + int(horizontalPadding), qMax(30, base.height() + int(verticalPadding)));
}
