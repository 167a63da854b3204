#include "restoreTableCell.h"

#include "ElidedLabel.h"
#include "RestoreCellDelegate.h"
#include "customizeButton.h"
#include "myMoreInfoBtn.h"

#include <QHBoxLayout>

restoreTableCell::restoreTableCell(QWidget* parent)
    : TaskCellBase(parent)
{
    statusLine->addStretch(1);
    restoreBtn = new customizeButton(tr("Restore"), InfoView);
    restoreBtn->setMinimumWidth(90);
    restoreBtn->setFixedHeight(30);
    actionsLayout->addWidget(restoreBtn, 0, Qt::AlignVCenter);
    connect(restoreBtn, &QPushButton::clicked, this, &restoreTableCell::restoreBtnClick);
    connect(moreInfoBtn, &QPushButton::clicked, this, &restoreTableCell::moreInfoClick);
}

void restoreTableCell::fill(const TaskInfoPtr& task, bool open)
{
    TaskCellBase::fill(task, open);
    setStatusImage(task->function == 3 ? QStringLiteral("ic_restore_lock_grey") : QStringLiteral("ic_restore_grey"));
}

void restoreTableCell::restoreBtnClick()
{
    if (myDelegate)
        myDelegate->restoreRow(cellTaskNameLabel->text());
}

void restoreTableCell::moreInfoClick()
{
    if (!moreInfoShow) {
        if (myDelegate)
            myDelegate->moreInfoRow(cellTaskNameLabel->text());
        moreInfoShow = true;
    } else {
        if (myDelegate)
            myDelegate->moreInfoRow(QString());
        moreInfoShow = false;
    }
    moreInfoBtn->btnClicked = moreInfoShow;
    moreInfoBtn->showNormalLook();
}
