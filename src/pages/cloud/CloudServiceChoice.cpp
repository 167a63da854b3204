#include "CloudServiceChoice.h"

#include "CloudAccountRow.h"
#include "CloudTempBlockView.h"
#include "ControlStyle.h"

#include <QLabel>
#include <QVBoxLayout>

CloudServiceChoice::CloudServiceChoice(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("cloudAccountBackView"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#cloudAccountBackView { background: rgb(227, 227, 227); }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 36, 40, 24);
    layout->setSpacing(14);
    auto* title = ControlStyle::textLabel(this, 22, true, ControlStyle::darkText());
    title->setText(tr("Cloud Backup"));
    auto* hint = ControlStyle::textLabel(this, 14, false, ControlStyle::greyText());
    hint->setText(tr("Sign in to a cloud service, then open it to choose the files to download."));
    hint->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(hint);
    layout->addSpacing(6);
    dropboxRow_ = new CloudAccountRow(QStringLiteral("Dropbox"), QStringLiteral("ic_cloud_dropbox"), true, this);
    googleRow_ = new CloudAccountRow(QStringLiteral("Google Drive"), QStringLiteral("ic_cloud_google drive"), true, this);
    onedriveRow_ = new CloudAccountRow(QStringLiteral("OneDrive"), QStringLiteral("ic_cloud_onedrive"), false, this);
    layout->addWidget(dropboxRow_);
    layout->addWidget(googleRow_);
    layout->addWidget(onedriveRow_);
    layout->addStretch(1);

    accountBlockView_ = new CloudTempBlockView(this);
    accountBlockView_->setObjectName(QStringLiteral("accountBlockView"));
    accountBlockView_->setCursor(Qt::BusyCursor);
    accountBlockView_->hide();
}

CloudAccountRow* CloudServiceChoice::row(CloudLoginService service) const
{
    switch (service) {
    case CloudLoginService::dropbox: return dropboxRow_;
    case CloudLoginService::googleDrive: return googleRow_;
    case CloudLoginService::onedrive: return onedriveRow_;
    case CloudLoginService::none: break;
    }
    return nullptr;
}

void CloudServiceChoice::setBusy(bool busy)
{
    accountBlockView_->setVisible(busy);
    if (busy)
        accountBlockView_->raise();
}

bool CloudServiceChoice::isBusy() const
{
    return accountBlockView_->isVisibleTo(this);
}

void CloudServiceChoice::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    accountBlockView_->setGeometry(rect());
}
