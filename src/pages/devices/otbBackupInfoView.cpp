#include "otbBackupInfoView.h"

#include "ControlStyle.h"
#include "ElidedLabel.h"
#include "TaskCellBase.h"
#include "ZorviImages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QColor kLinkBlue(0, 128, 255);

QLabel* makeLabel(const QString& text, const QColor& colour, QWidget* parent)
{
    QLabel* label = ControlStyle::textLabel(parent, 13, false, colour);
    label->setText(text);
    return label;
}
} // namespace

otbBackupInfoView::otbBackupInfoView(QWidget* parent)
    : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    InfoView = new QWidget(this);
    InfoView->setObjectName(QStringLiteral("InfoView"));
    InfoView->setAttribute(Qt::WA_StyledBackground);
    InfoView->setStyleSheet(QStringLiteral("#InfoView { background: white; }"));
    InfoView->setFixedHeight(kFoldedHeight);
    auto* info = new QGridLayout(InfoView);
    info->setContentsMargins(14, 6, 14, 6);
    info->setHorizontalSpacing(6);
    info->setVerticalSpacing(2);
    cellTaskNameLabel = new ElidedLabel(QString(), InfoView);
    cellTaskNameLabel->setFont(ControlStyle::font(16, true));
    cellTaskNameLabel->setTextColor(ControlStyle::darkText());
    moreInfoBtn = new QPushButton(tr("More details"), InfoView);
    moreInfoBtn->setFlat(true);
    moreInfoBtn->setFocusPolicy(Qt::NoFocus);
    moreInfoBtn->setCursor(Qt::PointingHandCursor);
    moreInfoBtn->setLayoutDirection(Qt::RightToLeft); // the arrow right of the title
    moreInfoBtn->setIconSize(QSize(12, 12));
    moreInfoBtn->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: transparent; border: none; %2 }")
                                   .arg(ControlStyle::css(kLinkBlue), ControlStyle::cssFont(14)));
    auto* destLine = new QHBoxLayout;
    destLine->setSpacing(4);
    destLine->addWidget(makeLabel(tr("Destination:"), ControlStyle::greyText(), InfoView));
    cellDestLabel = new ElidedLabel(QString(), InfoView);
    cellDestLabel->setFont(ControlStyle::font(13));
    destLine->addWidget(cellDestLabel, 1);
    destLine->addSpacing(12);
    lastBackupTitle = makeLabel(tr("Last backup:"), ControlStyle::greyText(), InfoView);
    cellLastUpdateLabel = makeLabel(QString(), ControlStyle::darkText(), InfoView);
    destLine->addWidget(lastBackupTitle);
    destLine->addWidget(cellLastUpdateLabel);
    info->addWidget(cellTaskNameLabel, 0, 0);
    info->addWidget(moreInfoBtn, 0, 1, Qt::AlignRight);
    info->addLayout(destLine, 1, 0, 1, 2);
    info->setColumnStretch(0, 1);
    outer->addWidget(InfoView);

    moreInfoView = new QWidget(this);
    moreInfoView->setObjectName(QStringLiteral("moreInfoView"));
    moreInfoView->setAttribute(Qt::WA_StyledBackground);
    moreInfoView->setStyleSheet(QStringLiteral("#moreInfoView { background: %1; }").arg(ControlStyle::css(ControlStyle::lightFace())));
    auto* grid = new QGridLayout(moreInfoView);
    grid->setContentsMargins(14, 12, 14, 12);
    grid->setHorizontalSpacing(10);
    const auto value = [this] { return makeLabel(QString(), ControlStyle::darkText(), moreInfoView); };
    cellScheduleLabel = value();
    compressText = makeLabel(tr("Compression:"), ControlStyle::greyText(), moreInfoView);
    cellCompressLabel = value();
    encryptText = makeLabel(tr("Encryption:"), ControlStyle::greyText(), moreInfoView);
    cellEncryptLabel = value();
    cellFileCountLabel = value();
    cellFolderCountLabel = value();
    cellTotalSizeLabel = value();
    const QList<QPair<QLabel*, QLabel*>> rows {
        { makeLabel(tr("Schedule:"), ControlStyle::greyText(), moreInfoView), cellScheduleLabel },
        { compressText, cellCompressLabel },
        { encryptText, cellEncryptLabel },
        { makeLabel(tr("Files:"), ControlStyle::greyText(), moreInfoView), cellFileCountLabel },
        { makeLabel(tr("Folders:"), ControlStyle::greyText(), moreInfoView), cellFolderCountLabel },
        { makeLabel(tr("Total size:"), ControlStyle::greyText(), moreInfoView), cellTotalSizeLabel },
    };
    for (int i = 0; i < rows.size(); ++i) {
        grid->addWidget(rows[i].first, i, 0);
        grid->addWidget(rows[i].second, i, 1);
    }
    grid->setColumnStretch(1, 1);
    moreInfoView->hide();
    outer->addWidget(moreInfoView, 1);

    setBackupHeight(kFoldedHeight);
    setMoreInfoImage(QStringLiteral("ic_tab_moredetail_right_blue"));
    connect(moreInfoBtn, &QPushButton::clicked, this, &otbBackupInfoView::moreInfoBtnClick);
}

void otbBackupInfoView::setBackupHeight(int height)
{
    backupHeight_ = height;
    setFixedHeight(height);
}

void otbBackupInfoView::setMoreInfoImage(const QString& name)
{
    imageName_ = name;
    moreInfoBtn->setIcon(ZorviImages::icon(name));
}

void otbBackupInfoView::fill(const TaskInfoPtr& task)
{
    TaskCellBase::fillDetails({ cellTaskNameLabel, cellDestLabel, cellLastUpdateLabel, cellScheduleLabel, cellCompressLabel,
                                cellEncryptLabel, cellFileCountLabel, cellFolderCountLabel, cellTotalSizeLabel },
                              task);
}

void otbBackupInfoView::moreInfoBtnClick()
{
    const bool show = moreInfoView->isHidden();
    moreInfoView->setVisible(show);
    // One change now, the other once the layout has taken the first. The queued step looks at
    // the state it finds, so two quick clicks cannot leave a stale arrow or height behind.
    if (show)
        setBackupHeight(kOpenHeight);
    else
        setMoreInfoImage(QStringLiteral("ic_tab_moredetail_right_blue"));
    QTimer::singleShot(0, this, [this] {
        const bool open = !moreInfoView->isHidden();
        setBackupHeight(open ? kOpenHeight : kFoldedHeight);
        setMoreInfoImage(open ? QStringLiteral("ic_tab_moredetail_down_blue") : QStringLiteral("ic_tab_moredetail_right_blue"));
    });
}
