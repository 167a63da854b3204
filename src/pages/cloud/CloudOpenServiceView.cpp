#include "CloudOpenServiceView.h"

#include "AccountPictureLoader.h"
#include "AddTaskSmallBoxButton.h"
#include "BoxPathTableCell.h"
#include "CloudBoxButton.h"
#include "ControlStyle.h"
#include "ElidedLabel.h"
#include "MyBoxTableRowView.h"
#include "ZorviImages.h"
#include "circleButton.h"
#include "customizeButton.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace {

constexpr QSize kPanelSize(316, 200); // the dashed face of a tile

// A button changed under a resting pointer shows its normal look again.
void dropHoverLook(QWidget* button)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
}

// Lays the tile out afresh in its resting look.
void redraw(CloudBoxButton* tile) { tile->mouseExited(); }


QWidget* whitePanel(QWidget* parent, const QString& name)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setStyleSheet(QStringLiteral("#%1 { background: white; border: 1px solid rgb(199, 199, 204); border-radius: 6px; }")
                             .arg(name));
    return panel;
}

} // namespace

CloudOpenServiceView::CloudOpenServiceView(QWidget* parent)
    : QWidget(parent)
{
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 12);
    root->setSpacing(12);

    accountBackView = whitePanel(this, QStringLiteral("accountBackView"));
    accountBackView->setFixedHeight(64);
    auto* card = new QHBoxLayout(accountBackView);
    card->setContentsMargins(10, 8, 16, 8);
    card->setSpacing(12);
    cloudBackBtn = new circleButton(QStringLiteral("back"), accountBackView);
    cloudBackBtn->setObjectName(QStringLiteral("cloudBackBtn"));
    cloudBackBtn->setToolTip(tr("Back"));
    accountImageView = new QLabel(accountBackView);
    accountImageView->setFixedSize(AccountPictureLoader::pictureSize, AccountPictureLoader::pictureSize);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    accountServiceLabel = ControlStyle::textLabel(accountBackView, 16, true, ControlStyle::darkText());
    accountEmailLabel = ControlStyle::textLabel(accountBackView, 13, false, ControlStyle::greyText());
    names->addWidget(accountServiceLabel);
    names->addWidget(accountEmailLabel);
    accountSpaceLabel = ControlStyle::textLabel(accountBackView, 13, false, ControlStyle::greyText());
    card->addWidget(cloudBackBtn);
    card->addWidget(accountImageView);
    card->addLayout(names);
    card->addStretch(1);
    card->addWidget(accountSpaceLabel);
    root->addWidget(accountBackView);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);

    // Source: the tile until something is picked, then the picks.
    dropboxBoxBtn = new CloudBoxButton(this);
    dropboxBoxBtn->setObjectName(QStringLiteral("dropboxBoxBtn"));
    sourcePanel = whitePanel(this, QStringLiteral("sourcePanel"));
    sourcePanel->setFixedSize(kPanelSize);
    auto* sourceLayout = new QVBoxLayout(sourcePanel);
    sourceLayout->setContentsMargins(10, 10, 10, 10);
    sourceLayout->setSpacing(6);
    auto* sourceHead = new QHBoxLayout;
    cloudSrcImageView = new QLabel(sourcePanel);
    cloudSrcImageView->setFixedSize(40, 40);
    auto* sourceCaption = ControlStyle::textLabel(sourcePanel, 14, true, ControlStyle::darkText());
    sourceCaption->setText(tr("Selected"));
    sourceHead->addWidget(cloudSrcImageView);
    sourceHead->addWidget(sourceCaption);
    sourceHead->addStretch(1);
    sourceLayout->addLayout(sourceHead);
    cloudBoxTableView = new QListWidget(sourcePanel);
    cloudBoxTableView->setObjectName(QStringLiteral("cloudBoxTableView"));
    cloudBoxTableView->setSelectionMode(QAbstractItemView::NoSelection);
    cloudBoxTableView->setFocusPolicy(Qt::NoFocus);
    cloudBoxTableView->setStyleSheet(QStringLiteral("QListWidget { background: white; border: none; }"));
    sourceLayout->addWidget(cloudBoxTableView, 1);
    grid->addWidget(sourcePanel, 0, 0, Qt::AlignCenter);
    grid->addWidget(dropboxBoxBtn, 0, 0);
    changeFileBtn = new AddTaskSmallBoxButton(tr("Select Files"), this);
    changeFileBtn->setObjectName(QStringLiteral("changeFileBtn"));
    changeFileBtn->setFixedSize(kPanelSize.width(), 32);
    grid->addWidget(changeFileBtn, 1, 0, Qt::AlignTop | Qt::AlignHCenter);

    arrowImageView = new QLabel(this);
    arrowImageView->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_newtask_arrow"), QSize(32, 32)));
    grid->addWidget(arrowImageView, 0, 1, Qt::AlignCenter);

    // Destination: the tile until a folder is chosen, then the folder.
    googleBoxBtn = new CloudBoxButton(this);
    googleBoxBtn->setObjectName(QStringLiteral("googleBoxBtn"));
    destinationPanel = whitePanel(this, QStringLiteral("destinationPanel"));
    destinationPanel->setFixedSize(kPanelSize);
    auto* destLayout = new QVBoxLayout(destinationPanel);
    destLayout->setContentsMargins(16, 10, 16, 16);
    auto* destIcon = new QLabel(destinationPanel);
    destIcon->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_cloud_Destination"), QSize(196, 126)));
    destLayout->addWidget(destIcon, 0, Qt::AlignHCenter);
    destPathTextLabel = new ElidedLabel(QString(), destinationPanel);
    destPathTextLabel->setObjectName(QStringLiteral("destPathTextLabel"));
    destPathTextLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    destPathTextLabel->setFont(ControlStyle::font(14));
    destLayout->addWidget(destPathTextLabel);
    destLayout->addStretch(1);
    grid->addWidget(destinationPanel, 0, 2, Qt::AlignCenter);
    grid->addWidget(googleBoxBtn, 0, 2);
    destinationBtn = new AddTaskSmallBoxButton(tr("Destination"), this);
    destinationBtn->setObjectName(QStringLiteral("destinationBtn"));
    destinationBtn->setFixedSize(kPanelSize.width(), 32);
    grid->addWidget(destinationBtn, 1, 2, Qt::AlignTop | Qt::AlignHCenter);
    dropboxBoxBtn->raise();
    googleBoxBtn->raise();

    auto* middle = new QHBoxLayout;
    middle->addStretch(1);
    middle->addLayout(grid);
    middle->addStretch(1);
    root->addLayout(middle);
    root->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    cloudBackupBtn = new customizeButton(tr("Backup"), this);
    cloudBackupBtn->setObjectName(QStringLiteral("cloudBackupBtn"));
    cloudBackupBtn->setMinimumSize(150, 40);
    cloudBackupBtn->setFontSize(20);
    dropHoverLook(cloudBackupBtn);
    bottom->addWidget(cloudBackupBtn);
    root->addLayout(bottom);

    connect(cloudBackBtn, &QPushButton::clicked, this, &CloudOpenServiceView::backClicked);
    connect(dropboxBoxBtn, &QPushButton::clicked, this, &CloudOpenServiceView::sourceClicked);
    connect(changeFileBtn, &QPushButton::clicked, this, &CloudOpenServiceView::sourceClicked);
    connect(googleBoxBtn, &QPushButton::clicked, this, &CloudOpenServiceView::destinationClicked);
    connect(destinationBtn, &QPushButton::clicked, this, &CloudOpenServiceView::destinationClicked);
    connect(cloudBackupBtn, &QPushButton::clicked, this, &CloudOpenServiceView::backupClicked);
}

void CloudOpenServiceView::setAccountShown(bool shown)
{
    cloudBackBtn->setVisible(shown);
    accountBackView->setVisible(shown);
}

void CloudOpenServiceView::setAccount(const QString& serviceName, const QString& email, const QString& space)
{
    accountServiceLabel->setText(serviceName);
    accountEmailLabel->setText(email);
    accountSpaceLabel->setText(space);
}

void CloudOpenServiceView::setSpace(const QString& space)
{
    accountSpaceLabel->setText(space);
}

QString CloudOpenServiceView::space() const
{
    return accountSpaceLabel->text();
}

void CloudOpenServiceView::setSourceTile(const QString& image, const QString& title)
{
    dropboxBoxBtn->boxBtnImageName = image;
    setSourceTileTitle(title);
}

void CloudOpenServiceView::setSourceTileTitle(const QString& title)
{
    dropboxBoxBtn->boxBtnTitle = title;
    redraw(dropboxBoxBtn);
}

void CloudOpenServiceView::setDestinationTile(const QString& image, const QString& title)
{
    googleBoxBtn->boxBtnImageName = image;
    setDestinationTileTitle(title);
}

void CloudOpenServiceView::setDestinationTileTitle(const QString& title)
{
    googleBoxBtn->boxBtnTitle = title;
    redraw(googleBoxBtn);
}

void CloudOpenServiceView::showPicks(const QStringList& rows, const QString& picture, const QString& buttonText)
{
    if (!picture.isEmpty())
        cloudSrcImageView->setPixmap(ZorviImages::pixmap(picture, QSize(40, 40)));
    const bool picked = !rows.isEmpty();
    dropboxBoxBtn->setVisible(!picked);
    changeFileBtn->setVisible(picked);
    sourcePanel->setVisible(picked);
    changeFileBtn->setText(buttonText);
    dropHoverLook(changeFileBtn);

    cloudBoxTableView->clear();
    for (const QString& text : rows) {
        auto* row = new QListWidgetItem(cloudBoxTableView);
        row->setSizeHint(QSize(0, 25));
        auto* rowView = new MyBoxTableRowView;
        auto* rowLayout = new QHBoxLayout(rowView);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* cell = new BoxPathTableCell(rowView);
        cell->setObjectName(QStringLiteral("myCol2"));
        cell->boxCellLabel->setText(text);
        cell->setToolTip(text);
        rowLayout->addWidget(cell);
        cloudBoxTableView->setItemWidget(row, rowView);
    }
}

int CloudOpenServiceView::pickCount() const
{
    return cloudBoxTableView->count();
}

void CloudOpenServiceView::setDestinationButtonText(const QString& text)
{
    destinationBtn->setText(text);
    dropHoverLook(destinationBtn);
}

void CloudOpenServiceView::showDestination(const QString& path)
{
    googleBoxBtn->hide();
    destinationBtn->show();
    destinationPanel->show();
    destPathTextLabel->setText(path);
    destPathTextLabel->setToolTip(path);
}

QString CloudOpenServiceView::destinationPath() const
{
    return destPathTextLabel->text();
}

void CloudOpenServiceView::clear()
{
    dropboxBoxBtn->show();
    googleBoxBtn->show();
    changeFileBtn->hide();
    destinationBtn->hide();
    sourcePanel->hide();
    destinationPanel->hide();
    cloudBoxTableView->clear();
    destPathTextLabel->setText(QString());
    destPathTextLabel->setToolTip(QString());
    cloudBackupBtn->setEnabled(false);
    setAccountShown(false);
}

void CloudOpenServiceView::setBackupShown(bool shown)
{
    cloudBackupBtn->setVisible(shown);
    arrowImageView->setVisible(shown);
}

void CloudOpenServiceView::setBackupEnabled(bool enabled)
{
    cloudBackupBtn->setEnabled(enabled);
}

CloudOpenServiceView::Shown CloudOpenServiceView::shown() const
{
    Shown s;
    s.accountCard = accountBackView->isVisibleTo(this);
    s.back = cloudBackBtn->isVisibleTo(this);
    s.accountService = accountServiceLabel->text();
    s.accountEmail = accountEmailLabel->text();
    s.accountSpace = accountSpaceLabel->text();
    s.accountPicture = accountImageView->pixmap().toImage();
    s.sourceTileImage = dropboxBoxBtn->boxBtnImageName;
    s.sourceTileTitle = dropboxBoxBtn->isVisibleTo(this) ? dropboxBoxBtn->boxBtnTitle : QString();
    s.destinationTileTitle = googleBoxBtn->isVisibleTo(this) ? googleBoxBtn->boxBtnTitle : QString();
    s.changeFiles = changeFileBtn->isVisibleTo(this) ? changeFileBtn->text() : QString();
    for (int i = 0; i < cloudBoxTableView->count(); ++i)
        if (auto* cell = cloudBoxTableView->itemWidget(cloudBoxTableView->item(i))->findChild<BoxPathTableCell*>())
            s.picks << cell->boxCellLabel->text();
    s.destination = destinationPanel->isVisibleTo(this) ? destPathTextLabel->text() : QString();
    s.destinationButton = destinationBtn->isVisibleTo(this) ? destinationBtn->text() : QString();
    s.backup = cloudBackupBtn->isVisibleTo(this);
    s.backupEnabled = cloudBackupBtn->isEnabled();
    return s;
}
