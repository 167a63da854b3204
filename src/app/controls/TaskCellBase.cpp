#include "TaskCellBase.h"

#include "ControlStyle.h"
#include "ElidedLabel.h"
#include "TaskSizeText.h"
#include "ZorviImages.h"
#include "myMoreInfoBtn.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

QLabel* TaskCellBase::caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::greyText()), ControlStyle::cssFont(13)));
    return label;
}

namespace {
QLabel* valueLabel(QWidget* parent) { return ControlStyle::textLabel(parent, 13, false, ControlStyle::darkText()); }
} // namespace

TaskCellBase::TaskCellBase(QWidget* parent)
    : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    InfoView = new QWidget(this);
    InfoView->setObjectName(QStringLiteral("InfoView"));
    InfoView->setAttribute(Qt::WA_StyledBackground);
    InfoView->setStyleSheet(QStringLiteral("#InfoView { background: white; }"));
    InfoView->setFixedHeight(72);
    auto* info = new QHBoxLayout(InfoView);
    info->setContentsMargins(16, 6, 16, 6);
    info->setSpacing(12);

    statusImg = new QLabel(InfoView);
    statusImg->setFixedSize(40, 40);
    info->addWidget(statusImg, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    cellTaskNameLabel = new ElidedLabel(QString(), InfoView);
    cellTaskNameLabel->setFont(ControlStyle::font(16, true));
    cellTaskNameLabel->setTextColor(ControlStyle::darkText());
    texts->addWidget(cellTaskNameLabel);

    auto* destLine = new QHBoxLayout;
    destLine->setSpacing(4);
    destLine->addWidget(caption(tr("Destination:"), InfoView));
    cellDestLabel = new ElidedLabel(QString(), InfoView);
    cellDestLabel->setFont(ControlStyle::font(13));
    destLine->addWidget(cellDestLabel, 1);
    texts->addLayout(destLine);

    statusLine = new QHBoxLayout;
    statusLine->setSpacing(4);
    statusLine->addWidget(caption(tr("Last backup:"), InfoView));
    cellLastUpdateLabel = valueLabel(InfoView);
    statusLine->addWidget(cellLastUpdateLabel);
    statusLine->addSpacing(16);
    texts->addLayout(statusLine);
    info->addLayout(texts, 1);

    moreInfoBtn = new myMoreInfoBtn(tr("More details"), InfoView);
    info->addWidget(moreInfoBtn, 0, Qt::AlignVCenter);
    actionsLayout = new QHBoxLayout;
    actionsLayout->setSpacing(8);
    info->addLayout(actionsLayout);
    outer->addWidget(InfoView);

    moreInfoView = new QWidget(this);
    moreInfoView->setObjectName(QStringLiteral("moreInfoView"));
    moreInfoView->setAttribute(Qt::WA_StyledBackground);
    moreInfoView->setStyleSheet(QStringLiteral("#moreInfoView { background: %1; }").arg(ControlStyle::css(ControlStyle::lightFace())));
    moreInfoView->setFixedHeight(80);
    auto* grid = new QGridLayout(moreInfoView);
    grid->setContentsMargins(68, 10, 16, 10);
    grid->setHorizontalSpacing(8);
    cellScheduleLabel = valueLabel(moreInfoView);
    compressText = caption(tr("Compression:"), moreInfoView);
    cellCompressLabel = valueLabel(moreInfoView);
    encryptText = caption(tr("Encryption:"), moreInfoView);
    cellEncryptLabel = valueLabel(moreInfoView);
    cellFileCountLabel = valueLabel(moreInfoView);
    cellFolderCountLabel = valueLabel(moreInfoView);
    cellTotalSizeLabel = valueLabel(moreInfoView);
    grid->addWidget(caption(tr("Schedule:"), moreInfoView), 0, 0);
    grid->addWidget(cellScheduleLabel, 0, 1);
    grid->addWidget(compressText, 0, 2);
    grid->addWidget(cellCompressLabel, 0, 3);
    grid->addWidget(encryptText, 0, 4);
    grid->addWidget(cellEncryptLabel, 0, 5);
    grid->addWidget(caption(tr("Files:"), moreInfoView), 1, 0);
    grid->addWidget(cellFileCountLabel, 1, 1);
    grid->addWidget(caption(tr("Folders:"), moreInfoView), 1, 2);
    grid->addWidget(cellFolderCountLabel, 1, 3);
    grid->addWidget(caption(tr("Total size:"), moreInfoView), 1, 4);
    grid->addWidget(cellTotalSizeLabel, 1, 5);
    for (int column : { 1, 3, 5 })
        grid->setColumnMinimumWidth(column, 140);
    grid->setColumnStretch(6, 1);
    moreInfoView->hide();
    outer->addWidget(moreInfoView);
    outer->addStretch(1);
}

QString TaskCellBase::taskName() const
{
    return cellTaskNameLabel->text();
}

void TaskCellBase::setStatusImage(const QString& name)
{
    statusImageName_ = name;
    statusImg->setPixmap(ZorviImages::pixmap(name, QSize(40, 40)));
}

void TaskCellBase::setMoreInfoOpen(bool open)
{
    moreInfoShow = open;
    moreInfoBtn->btnClicked = open;
    moreInfoBtn->showNormalLook();
    moreInfoView->setVisible(open);
}

void TaskCellBase::fill(const TaskInfoPtr& task, bool open)
{
    fillDetails({ cellTaskNameLabel, cellDestLabel, cellLastUpdateLabel, cellScheduleLabel, cellCompressLabel,
                  cellEncryptLabel, cellFileCountLabel, cellFolderCountLabel, cellTotalSizeLabel },
                task);
    setMoreInfoOpen(open);
}

void TaskCellBase::fillDetails(const DetailLabels& labels, const TaskInfoPtr& task)
{
    labels.name->setText(task->taskName);
    labels.name->setToolTip(task->taskName);
    const QString dest = TaskInfo::pathPart(task->backupDest);
    labels.destination->setText(dest);
    labels.destination->setToolTip(dest);
    labels.lastBackup->setText(task->lastBackupDate);
    const QString mode = task->scheduleMode;
    labels.schedule->setText(mode == QLatin1String("Daily")     ? tr("Daily")
                             : mode == QLatin1String("Weekly")  ? tr("Weekly")
                             : mode == QLatin1String("Monthly") ? tr("Monthly")
                             : mode == QLatin1String("None")    ? tr("None")
                                                                : mode);
    labels.compress->setText(task->function == 1 ? tr("No") : tr("Yes"));
    labels.encrypt->setText(task->function == 3 ? tr("Yes") : tr("No"));
    labels.fileCount->setText(QString::number(task->fileCount));
    labels.folderCount->setText(QString::number(task->directoryCount));
    labels.totalSize->setText(TaskSizeText::text(task->totalSize));
}
