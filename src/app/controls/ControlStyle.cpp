#include "ControlStyle.h"

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
