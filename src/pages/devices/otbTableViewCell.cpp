#include "otbTableViewCell.h"

#include "ControlStyle.h"
#include "OTBCellDelegate.h"
#include "myMoreInfoBtn.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QPainter>

namespace {
constexpr int kFrame = 5;
} // namespace

otbTableViewCell::otbTableViewCell(QWidget* parent)
    : TaskCellBase(parent)
{
    // 80 high with the frame; the details add 80.
    layout()->setContentsMargins(kFrame, kFrame, kFrame, kFrame);
    InfoView->setFixedHeight(80 - 2 * kFrame);
    statusImg->hide();
    statusLine->addStretch(1);
    moreInfoBtn->myEnable = true;
    InfoView->installEventFilter(this);
    connect(moreInfoBtn, &QPushButton::clicked, this, &otbTableViewCell::moreInfoBtnClick);
}

void otbTableViewCell::setRowSelected(bool selected)
{
    if (rowSelected_ == selected)
        return;
    rowSelected_ = selected;
    update();
}

void otbTableViewCell::setInfoViewColor(const QColor& colour)
{
    infoColor_ = colour;
    InfoView->setStyleSheet(QStringLiteral("#InfoView { background: %1; }").arg(ControlStyle::css(colour)));
}

bool otbTableViewCell::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == InfoView) {
        if (event->type() == QEvent::Enter)
            setInfoViewColor(hoverColor());
        else if (event->type() == QEvent::Leave)
            setInfoViewColor(Qt::white);
    }
    return TaskCellBase::eventFilter(watched, event);
}

void otbTableViewCell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), rowSelected_ ? ControlStyle::accentBlue() : frameColor());
}

void otbTableViewCell::moreInfoBtnClick()
{
    if (!moreInfoBtn->myEnable)
        return;
    moreInfoShow = !moreInfoShow;
    moreInfoBtn->btnClicked = moreInfoShow;
    moreInfoBtn->showNormalLook();
    // The page's reload resizes the row and redraws it from its own record of the open row.
    if (myDelegate)
        myDelegate->expandTaskRow(moreInfoShow ? taskName() : QString());
}
