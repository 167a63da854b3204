#include "ControlStyle.h"

#include <QLabel>

#include <QApplication>

void ControlStyle::applyApplicationFont()
{
    QFont font = QApplication::font();
    if (font.families() == QStringList { family() })
        return;
    font.setFamilies({ family() });
    QApplication::setFont(font);
}

Qt::WindowFlags ControlStyle::fixedWindowFlags()
{
    return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
}

Qt::WindowFlags ControlStyle::dialogFlags(bool closeButton)
{
    const Qt::WindowFlags base = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    return closeButton ? base | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint : base | Qt::WindowMinimizeButtonHint;
}

QLabel* ControlStyle::textLabel(QWidget* parent, int pixelSize, bool bold, const QColor& colour)
{
    auto* label = new QLabel(parent);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent; %2").arg(css(colour), cssFont(pixelSize, bold)));
    return label;
}
