#include "myMoreInfoBtn.h"

#include "ControlStyle.h"
#include "ZorviImages.h"

myMoreInfoBtn::myMoreInfoBtn(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    // The picture sits to the right of the title.
    setLayoutDirection(Qt::RightToLeft);
    setIconSize(QSize(12, 12));
    showNormalLook();
}

void myMoreInfoBtn::applyLook(const QColor& title, const QString& image)
{
    title_ = title;
    imageName_ = image;
    setIcon(ZorviImages::icon(image));
    setStyleSheet(QStringLiteral("QPushButton { color: %1; background: transparent; border: none; %2 }")
                      .arg(ControlStyle::css(title), ControlStyle::cssFont(14)));
}

void myMoreInfoBtn::showNormalLook()
{
    applyLook(ControlStyle::greyText(),
              btnClicked ? QStringLiteral("ic_tab_moredetail_down_grey") : QStringLiteral("ic_tab_moredetail_right_grey"));
}

void myMoreInfoBtn::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    if (!isEnabled() || !myEnable)
        return;
    applyLook(ControlStyle::accentBlue(),
              btnClicked ? QStringLiteral("ic_tab_moredetail_down_blue") : QStringLiteral("ic_tab_moredetail_right_blue"));
}

void myMoreInfoBtn::leaveEvent(QEvent* event)
{
    if (!isEnabled() || !myEnable)
        return;
    QPushButton::leaveEvent(event);
    showNormalLook();
}
