#include "MyCell.h"

#include "CellDelegate.h"
#include "ControlStyle.h"
#include "ZorviImages.h"
#include "circleButton.h"
#include "customizeButton.h"
#include "myMoreInfoBtn.h"

#include <QHBoxLayout>
#include <QLabel>

MyCell::MyCell(QWidget* parent)
    : TaskCellBase(parent)
{
    statusLine->addWidget(caption(tr("Status:"), InfoView));
    cellBackupStatusLabel = new QLabel(InfoView);
    cellBackupStatusLabel->setStyleSheet(
        QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(13)));
    statusLine->addWidget(cellBackupStatusLabel);
    statusLine->addStretch(1);

    backupBtn = new customizeButton(tr("Backup"), InfoView);
    backupBtn->setMinimumWidth(90);
    backupBtn->setFixedHeight(30);
    modifyBtn = new circleButton(QStringLiteral("modify"), InfoView);
    modifyBtn->setToolTip(tr("Modify"));
    deleteBtn = new circleButton(QStringLiteral("delete"), InfoView);
    deleteBtn->setToolTip(tr("Delete"));
    actionsLayout->addWidget(backupBtn, 0, Qt::AlignVCenter);
    actionsLayout->addWidget(modifyBtn, 0, Qt::AlignVCenter);
    actionsLayout->addWidget(deleteBtn, 0, Qt::AlignVCenter);

    connect(backupBtn, &QPushButton::clicked, this, &MyCell::backupClick);
    connect(modifyBtn, &QPushButton::clicked, this, &MyCell::modifyClick);
    connect(deleteBtn, &QPushButton::clicked, this, &MyCell::deleteClick);
    connect(moreInfoBtn, &QPushButton::clicked, this, &MyCell::moreInfoBtnClick);
}

void MyCell::fill(const TaskInfoPtr& task, bool open)
{
    TaskCellBase::fill(task, open);
    const bool locked = task->function == 3;
    switch (task->backupStatus) {
    case -1:
        cellBackupStatusLabel->setText(tr("Fail"));
        setStatusImage(locked ? QStringLiteral("ic_backup_lock_red") : QStringLiteral("ic_backup_red"));
        break;
    case 1:
        cellBackupStatusLabel->setText(tr("Done"));
        setStatusImage(locked ? QStringLiteral("ic_backup_lock_green") : QStringLiteral("ic_backup_green"));
        break;
    case 0:
        cellBackupStatusLabel->setText(tr("Not backed up yet"));
        setStatusImage(locked ? QStringLiteral("ic_backup_lock_grey") : QStringLiteral("ic_backup_grey"));
        break;
    default:
        cellBackupStatusLabel->setText(QStringLiteral("Unknown"));
        break;
    }
}

void MyCell::backupClick()
{
    if (myDelegate)
        myDelegate->backupRow(this);
}

void MyCell::modifyClick()
{
    if (myDelegate)
        myDelegate->modifyRow(this);
}

void MyCell::deleteClick()
{
    if (myDelegate)
        myDelegate->deleteRow(this);
}

void MyCell::moreInfoBtnClick()
{
    if (!moreInfoShow) {
        if (myDelegate)
            myDelegate->openMoreInfo(taskName());
        moreInfoShow = true;
        moreInfoBtn->btnClicked = true;
        moreInfoBtn->setIcon(ZorviImages::icon(QStringLiteral("ic_tab_moredetail_up")));
    } else {
        if (myDelegate)
            myDelegate->closeMoreInfo();
        moreInfoShow = false;
        moreInfoBtn->btnClicked = false;
        moreInfoBtn->showNormalLook();
    }
}
