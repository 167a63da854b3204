#include "CloudViewController.h"

#include "AddTaskSmallBoxButton.h"
#include "BoxPathTableCell.h"
#include "CloudBoxButton.h"
#include "CloudDownloadViewController.h"
#include "CloudLocalPath.h"
#include "CloudTempBlockView.h"
#include "ControlStyle.h"
#include "DropboxWorker.h"
#include "ElidedLabel.h"
#include "ExternalVolumes.h"
#include "GoogleDriveWorker.h"
#include "GoogleReporter.h"
#include "MyBoxTableRowView.h"
#include "OneDriveWorker.h"
#include "SignInProgress.h"
#include "SignInWaitPresenter.h"
#include "UtilityFunctions.h"
#include "ZorviImages.h"
#include "circleButton.h"
#include "cloudDelegate.h"
#include "customizeButton.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QSettings>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <limits>

Q_LOGGING_CATEGORY(lcCloudPage, "zorvi.cloud.page", QtInfoMsg)

namespace {

const QString kCategory = QStringLiteral("Cloud Action");
const QString kErrorImage = QStringLiteral("ic_log_lable");
constexpr int kPictureSize = 44;
constexpr QSize kPanelSize(316, 200); // the dashed face of a tile
constexpr qint64 kPictureLimit = 8 * 1024 * 1024; // an account picture is never this large
constexpr int kPictureTimeoutMs = 30 * 1000;

void report(const QString& action)
{
    GoogleReporter::shared().event(kCategory, action, QString());
}

// A button the page changed under a resting pointer shows its normal look again.
void dropHoverLook(QWidget* button)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
}

QLabel* textLabel(QWidget* parent, int pixelSize, bool bold, const QColor& colour)
{
    auto* label = new QLabel(parent);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent; %2")
                             .arg(ControlStyle::css(colour), ControlStyle::cssFont(pixelSize, bold)));
    return label;
}

QWidget* whitePanel(QWidget* parent, const QString& name)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setStyleSheet(QStringLiteral("#%1 { background: white; border: 1px solid rgb(199, 199, 204); border-radius: 6px; }")
                             .arg(name));
    return panel;
}

QString routeName(const QString& name)
{
    QString mapped = name;
    mapped.replace(QLatin1Char('/'), QLatin1Char(':'));
    return mapped;
}

} // namespace

CloudViewController::CloudViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("CloudViewController"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#CloudViewController { background: rgb(227, 227, 227); }"));
    defaults = new QSettings(this);

    buildOpenService();
    buildServiceChoice();

    // Every launch starts signed out: the tokens live in the clients' memory only.
    updateDropboxAccountView(!hasDropboxLogedIn);
    updateGoogleAccountView(!hasGoogleLogedIn);
    updateOneDriveAccountView(!hasOneDriveLogedIn);
    writeFlag("hasDropboxLogedIn", hasDropboxLogedIn);
    writeFlag("hasGoogleLogedIn", hasGoogleLogedIn);
    writeFlag("hasOneDriveLogedIn", hasOneDriveLogedIn);
    dropboxLogoutBtn->setVisible(hasDropboxLogedIn);
    googleLogoutBtn->setVisible(hasGoogleLogedIn);
    cloudBackupBtn->setText(tr("Backup"));
    cloudBackupBtn->setFontSize(20);
    dropHoverLook(cloudBackupBtn);
    resetToServiceChoice();
}

CloudViewController::~CloudViewController() = default;

void CloudViewController::embed(QObject* mainWindow)
{
    representedObject = mainWindow;
    downloadDelegateforMain = dynamic_cast<cloudDelegate*>(mainWindow);
}

// ---------------------------------------------------------------- layout

void CloudViewController::buildOpenService()
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
    accountImageView->setFixedSize(kPictureSize, kPictureSize);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    accountServiceLabel = textLabel(accountBackView, 16, true, ControlStyle::darkText());
    accountEmailLabel = textLabel(accountBackView, 13, false, ControlStyle::greyText());
    names->addWidget(accountServiceLabel);
    names->addWidget(accountEmailLabel);
    accountSpaceLabel = textLabel(accountBackView, 13, false, ControlStyle::greyText());
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
    auto* sourceCaption = textLabel(sourcePanel, 14, true, ControlStyle::darkText());
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
    bottom->addWidget(cloudBackupBtn);
    root->addLayout(bottom);

    connect(cloudBackBtn, &QPushButton::clicked, this, &CloudViewController::cloudBackBtnClicked);
    connect(dropboxBoxBtn, &QPushButton::clicked, this, &CloudViewController::selectFilesClicked);
    connect(changeFileBtn, &QPushButton::clicked, this, &CloudViewController::selectFilesClicked);
    connect(googleBoxBtn, &QPushButton::clicked, this, &CloudViewController::selectDestBtnClicked);
    connect(destinationBtn, &QPushButton::clicked, this, &CloudViewController::selectDestBtnClicked);
    connect(cloudBackupBtn, &QPushButton::clicked, this, &CloudViewController::cloudBackupClicked);
}

QWidget* CloudViewController::accountRow(const QString& serviceName, const QString& image, QLabel** picture,
                                         QLabel** email, customizeButton** sign, customizeButton** open,
                                         customizeButton** logout)
{
    QString id = serviceName;
    id.remove(QLatin1Char(' '));
    auto* row = whitePanel(cloudAccountBackView, id + QStringLiteral("Row"));
    row->setFixedHeight(72);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(14);
    auto* logo = new QLabel(row);
    logo->setPixmap(ZorviImages::pixmap(image, QSize(70, 45)));
    logo->setFixedSize(70, 45);
    *picture = new QLabel(row);
    (*picture)->setFixedSize(kPictureSize, kPictureSize);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    auto* name = textLabel(row, 16, true, ControlStyle::darkText());
    name->setText(serviceName);
    *email = textLabel(row, 13, false, ControlStyle::greyText());
    names->addStretch(1);
    names->addWidget(name);
    names->addWidget(*email);
    names->addStretch(1);
    *open = new customizeButton(tr("Open"), row);
    (*open)->setMinimumSize(96, 32);
    *sign = new customizeButton(tr("Sign In"), row);
    (*sign)->setMinimumSize(96, 32);
    layout->addWidget(logo);
    layout->addWidget(*picture);
    layout->addLayout(names, 1);
    layout->addWidget(*open);
    layout->addWidget(*sign);
    if (logout) {
        // Shown in the sign button's place while signed in.
        *logout = new customizeButton(tr("Sign Out"), row);
        (*logout)->setMinimumSize(96, 32);
        layout->addWidget(*logout);
    }
    return row;
}

void CloudViewController::buildServiceChoice()
{
    cloudAccountBackView = new QWidget(this);
    cloudAccountBackView->setObjectName(QStringLiteral("cloudAccountBackView"));
    cloudAccountBackView->setAttribute(Qt::WA_StyledBackground);
    cloudAccountBackView->setStyleSheet(QStringLiteral("#cloudAccountBackView { background: rgb(227, 227, 227); }"));
    auto* layout = new QVBoxLayout(cloudAccountBackView);
    layout->setContentsMargins(40, 36, 40, 24);
    layout->setSpacing(14);
    auto* title = textLabel(cloudAccountBackView, 22, true, ControlStyle::darkText());
    title->setText(tr("Cloud Backup"));
    auto* hint = textLabel(cloudAccountBackView, 14, false, ControlStyle::greyText());
    hint->setText(tr("Sign in to a cloud service, then open it to choose the files to download."));
    hint->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(hint);
    layout->addSpacing(6);
    layout->addWidget(accountRow(QStringLiteral("Dropbox"), QStringLiteral("ic_cloud_dropbox"), &dropboxProfileImg,
                                 &dropboxEmailLabel, &dropboxSignBtn, &dropboxOpenBtn, &dropboxLogoutBtn));
    layout->addWidget(accountRow(QStringLiteral("Google Drive"), QStringLiteral("ic_cloud_google drive"),
                                 &googleProfileImg, &googleEmailLabel, &googleSignBtn, &googleOpenBtn, &googleLogoutBtn));
    layout->addWidget(accountRow(QStringLiteral("OneDrive"), QStringLiteral("ic_cloud_onedrive"), &onedriveProfileImg,
                                 &onedriveEmailLabel, &onedriveSignBtn, &onedriveOpenBtn, nullptr));
    layout->addStretch(1);
    dropboxSignBtn->setObjectName(QStringLiteral("dropboxSignBtn"));
    googleSignBtn->setObjectName(QStringLiteral("googleSignBtn"));
    onedriveSignBtn->setObjectName(QStringLiteral("onedriveSignBtn"));
    dropboxLogoutBtn->setObjectName(QStringLiteral("dropboxLogoutBtn"));
    googleLogoutBtn->setObjectName(QStringLiteral("googleLogoutBtn"));

    accountBlockView = new CloudTempBlockView(cloudAccountBackView);
    accountBlockView->setObjectName(QStringLiteral("accountBlockView"));
    accountBlockView->setCursor(Qt::BusyCursor);
    accountBlockView->hide();

    connect(dropboxSignBtn, &QPushButton::clicked, this, &CloudViewController::dropboxSignBtnClicked);
    connect(googleSignBtn, &QPushButton::clicked, this, &CloudViewController::googleSignBtnClicked);
    connect(onedriveSignBtn, &QPushButton::clicked, this, &CloudViewController::onedriveSignBtnClicked);
    connect(dropboxOpenBtn, &QPushButton::clicked, this, &CloudViewController::dropboxBtnClicked);
    connect(googleOpenBtn, &QPushButton::clicked, this, &CloudViewController::googleBtnClicked);
    connect(onedriveOpenBtn, &QPushButton::clicked, this, &CloudViewController::onedriveClicked);
    connect(dropboxLogoutBtn, &QPushButton::clicked, this, &CloudViewController::logoutDropbox);
    connect(googleLogoutBtn, &QPushButton::clicked, this, &CloudViewController::logoutGoogleDrive);
    cloudAccountBackView->raise();
}

void CloudViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    cloudAccountBackView->setGeometry(rect());
    accountBlockView->setGeometry(cloudAccountBackView->rect());
}

// ---------------------------------------------------------------- clients

void CloudViewController::setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive)
{
    const bool observing = !signInConnections_.isEmpty();
    for (const QMetaObject::Connection& c : std::as_const(signInConnections_))
        disconnect(c);
    signInConnections_.clear();
    dropbox_ = dropbox;
    google_ = google;
    onedrive_ = onedrive;
    // The sign-ins started here wait in windows over this page.
    delete signInWaits_;
    signInWaits_ = new SignInWaitPresenter(this);
    for (SignInProgress* progress : { dropbox ? dropbox->signInProgress() : nullptr,
                                      google ? google->signInProgress() : nullptr,
                                      onedrive ? onedrive->signInProgress() : nullptr })
        signInWaits_->watch(progress);
    if (observing) {
        signInConnections_ << connect(this->google(), &GoogleDriveWorker::GoogleDrive_login, this,
                                      &CloudViewController::gdLoginFinished);
        signInConnections_ << connect(this->onedrive(), &OneDriveWorker::OneDrive_login, this,
                                      &CloudViewController::odLoginFinished);
    }
}

void CloudViewController::setNetworkAccessManager(QNetworkAccessManager* manager)
{
    nam_ = manager;
}

DropboxWorker* CloudViewController::dropbox() const
{
    return dropbox_;
}

GoogleDriveWorker* CloudViewController::google() const
{
    return google_;
}

OneDriveWorker* CloudViewController::onedrive() const
{
    return onedrive_;
}

// ---------------------------------------------------------------- view lifecycle

void CloudViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return; // the window came back from the taskbar; the page never went away
    // Sign-in results count only while the page is on screen.
    if (signInConnections_.isEmpty()) {
        signInConnections_ << connect(google(), &GoogleDriveWorker::GoogleDrive_login, this,
                                      &CloudViewController::gdLoginFinished);
        signInConnections_ << connect(onedrive(), &OneDriveWorker::OneDrive_login, this,
                                      &CloudViewController::odLoginFinished);
    }
    GoogleReporter::shared().screenView(QStringLiteral("Cloud View"));
}

void CloudViewController::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    for (const QMetaObject::Connection& c : std::as_const(signInConnections_))
        disconnect(c);
    signInConnections_.clear();
}

void CloudViewController::writeFlag(const char* key, bool value)
{
    defaults->setValue(QLatin1String(key), value);
    defaults->sync();
}

// ---------------------------------------------------------------- pictures

QPixmap CloudViewController::circularImage(const QPixmap& image)
{
    if (image.isNull())
        return image;
    QPixmap out(image.size());
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath oval;
    oval.addEllipse(QRectF(0, 0, image.width(), image.height()));
    painter.setClipPath(oval);
    painter.drawPixmap(0, 0, image);
    return out;
}

QPixmap CloudViewController::greyAccountPicture()
{
    return circularImage(ZorviImages::pixmap(QStringLiteral("ic_backup_account_grey"), QSize(kPictureSize, kPictureSize)));
}

void CloudViewController::setFixedPicture(QLabel* view, const QPixmap& picture)
{
    pictureGeneration_[view] = ++pictureCounter_; // a load still running must not replace it
    view->setPixmap(picture);
}

void CloudViewController::loadProfileImage(const QUrl& url, QLabel* view)
{
    if (!view)
        return;
    const quint64 generation = ++pictureCounter_;
    pictureGeneration_[view] = generation;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        Q_EMIT pictureLoadFinished(view, false);
        return;
    }
    if (!nam_) {
        ownNam_ = std::make_unique<QNetworkAccessManager>();
        nam_ = ownNam_.get();
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kPictureTimeoutMs);
    QNetworkReply* reply = nam_->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kPictureLimit)
            reply->abort();
    });
    QPointer<QLabel> guard(view);
    connect(reply, &QNetworkReply::finished, this, [this, reply, guard, view, generation] {
        reply->deleteLater();
        // The view may be gone, or a later picture may have been asked for in the meantime.
        if (!guard || pictureGeneration_.value(view) != generation)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QImage image;
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300)
            image = QImage::fromData(reply->readAll());
        if (image.isNull()) {
            Q_EMIT pictureLoadFinished(view, false);
            return;
        }
        const QPixmap scaled = QPixmap::fromImage(image).scaled(view->size(), Qt::KeepAspectRatioByExpanding,
                                                                  Qt::SmoothTransformation);
        view->setPixmap(circularImage(scaled.copy(QRect(QPoint(0, 0), view->size()))));
        Q_EMIT pictureLoadFinished(view, true);
    });
}

void CloudViewController::showAccountInfo(const QString& pictureAddress, const QImage& image, const QString& email,
                                          const QString& space, const QString& serviceName)
{
    if (image.isNull()) {
        // The grey picture stands until the account's own arrives: never another account's.
        setFixedPicture(accountImageView, greyAccountPicture());
        const QUrl url(pictureAddress);
        if (!pictureAddress.isEmpty() && url.isValid())
            loadProfileImage(url, accountImageView);
    } else {
        setFixedPicture(accountImageView, QPixmap::fromImage(image).scaled(accountImageView->size(), Qt::KeepAspectRatio,
                                                                          Qt::SmoothTransformation));
    }
    accountServiceLabel->setText(serviceName);
    accountEmailLabel->setText(email);
    accountSpaceLabel->setText(space);
}

// ---------------------------------------------------------------- account rows

void CloudViewController::setSignButtonTitle(customizeButton* button, const QString& title)
{
    button->setText(title);
    dropHoverLook(button);
}

void CloudViewController::updateDropboxAccountView(bool signedOut)
{
    setSignButtonTitle(dropboxSignBtn, signedOut ? tr("Sign In") : tr("Sign Out"));
    dropboxSignBtn->setVisible(signedOut); // the sign-out button stands in its place
    dropboxOpenBtn->setVisible(!signedOut);
    dropboxEmailLabel->setVisible(!signedOut);
    if (signedOut) {
        setFixedPicture(dropboxProfileImg, greyAccountPicture());
        return;
    }
    dropboxEmailLabel->setText(dropbox()->email());
    const QUrl url(dropbox()->photo());
    if (!dropbox()->photo().isEmpty() && url.isValid())
        loadProfileImage(url, dropboxProfileImg);
}

void CloudViewController::updateGoogleAccountView(bool signedOut)
{
    setSignButtonTitle(googleSignBtn, signedOut ? tr("Sign In") : tr("Sign Out"));
    googleSignBtn->setVisible(signedOut);
    googleOpenBtn->setVisible(!signedOut);
    googleEmailLabel->setVisible(!signedOut);
    if (signedOut) {
        setFixedPicture(googleProfileImg, greyAccountPicture());
        return;
    }
    googleEmailLabel->setText(google()->email());
    const QUrl url(google()->photoUrl());
    if (!google()->photoUrl().isEmpty() && url.isValid())
        loadProfileImage(url, googleProfileImg);
}

void CloudViewController::updateOneDriveAccountView(bool signedOut)
{
    setSignButtonTitle(onedriveSignBtn, signedOut ? tr("Sign In") : tr("Sign Out"));
    onedriveOpenBtn->setVisible(!signedOut);
    onedriveEmailLabel->setVisible(!signedOut);
    if (signedOut) {
        setFixedPicture(onedriveProfileImg, greyAccountPicture());
        return;
    }
    onedriveEmailLabel->setText(onedrive()->email());
    const QImage image = QImage::fromData(onedrive()->photo());
    setFixedPicture(onedriveProfileImg,
                    image.isNull() ? greyAccountPicture()
                                   : circularImage(QPixmap::fromImage(image).scaled(
                                         onedriveProfileImg->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

// ---------------------------------------------------------------- tiles and sign buttons

void CloudViewController::openService(CloudLoginService service)
{
    currentLoginService = service;
    updateServiceIcons();
    cloudBackBtn->show();
    accountBackView->show();
    switch (service) {
    case CloudLoginService::dropbox:
        showAccountInfo(dropbox()->photo(), QImage(), dropbox()->email(), dropbox()->spaceInfo(), QStringLiteral("Dropbox"));
        break;
    case CloudLoginService::googleDrive:
        showAccountInfo(google()->photoUrl(), QImage(), google()->email(), QString(), QStringLiteral("Google Drive"));
        break;
    case CloudLoginService::onedrive:
        showAccountInfo(QString(), QImage::fromData(onedrive()->photo()), onedrive()->email(), QString(), QStringLiteral("One Drive"));
        break;
    case CloudLoginService::none:
        break;
    }
    cloudAccountBackView->hide();
    if (service == CloudLoginService::googleDrive)
        updateGoogleAccountView(false);
    else if (service == CloudLoginService::onedrive)
        updateOneDriveAccountView(false);
}

void CloudViewController::dropboxBtnClicked()
{
    if (hasDropboxLogedIn) {
        openService(CloudLoginService::dropbox);
        return;
    }
    report(QStringLiteral("Log in Dropbox"));
    QPointer<CloudViewController> self(this);
    dropbox()->authorize([self](const DropboxOAuthResult& result) {
        if (self)
            self->dropboxAuthFinished(result);
    });
}

void CloudViewController::googleBtnClicked()
{
    if (hasGoogleLogedIn)
        openService(CloudLoginService::googleDrive);
    else
        google()->login();
}

void CloudViewController::onedriveClicked()
{
    if (hasOneDriveLogedIn)
        openService(CloudLoginService::onedrive);
    else
        onedrive()->login();
}

void CloudViewController::dropboxSignBtnClicked()
{
    if (dropboxSignBtn->text() == tr("Sign In"))
        dropboxBtnClicked();
    else
        logoutDropbox();
}

void CloudViewController::googleSignBtnClicked()
{
    if (googleSignBtn->text() == tr("Sign In"))
        googleBtnClicked();
    else
        logoutGoogleDrive();
}

void CloudViewController::onedriveSignBtnClicked()
{
    if (onedriveSignBtn->text() == tr("Sign In"))
        onedriveClicked();
    else
        logoutOneDrive();
}

void CloudViewController::redraw(CloudBoxButton* tile)
{
    tile->mouseEntered();
    tile->mouseExited();
}

void CloudViewController::updateServiceIcons()
{
    if (currentLoginService == CloudLoginService::none) {
        updateDropboxAccountView(!hasDropboxLogedIn);
        updateGoogleAccountView(!hasGoogleLogedIn);
        updateOneDriveAccountView(!hasOneDriveLogedIn);
        dropboxLogoutBtn->setVisible(hasDropboxLogedIn);
        googleLogoutBtn->setVisible(hasGoogleLogedIn);
        cloudBackupBtn->hide();
        arrowImageView->hide();
        return;
    }
    switch (currentLoginService) {
    case CloudLoginService::dropbox:
        dropboxBoxBtn->boxBtnImageName = QStringLiteral("ic_cloud_dropbox");
        updateDropboxAccountView(false);
        break;
    case CloudLoginService::googleDrive:
        dropboxBoxBtn->boxBtnImageName = QStringLiteral("ic_cloud_google drive");
        updateGoogleAccountView(false);
        break;
    case CloudLoginService::onedrive:
        dropboxBoxBtn->boxBtnImageName = QStringLiteral("ic_cloud_onedrive");
        updateOneDriveAccountView(false);
        break;
    case CloudLoginService::none:
        break;
    }
    dropboxBoxBtn->boxBtnTitle = tr("Select Files");
    googleBoxBtn->boxBtnImageName = QStringLiteral("ic_cloud_Destination");
    googleBoxBtn->boxBtnTitle = tr("Destination");
    redraw(dropboxBoxBtn);
    redraw(googleBoxBtn);
    dropboxLogoutBtn->hide();
    googleLogoutBtn->hide();
    cloudBackupBtn->show();
    arrowImageView->show();
}

// ---------------------------------------------------------------- sign-in results

void CloudViewController::dropboxAuthFinished(const DropboxOAuthResult& result)
{
    switch (result.kind) {
    case DropboxOAuthResult::Kind::error:
        qCInfo(lcCloudPage).noquote() << "Error: " + result.description;
        return;
    case DropboxOAuthResult::Kind::cancel:
        qCInfo(lcCloudPage).noquote() << "Authorization flow was manually canceled by user!";
        return;
    case DropboxOAuthResult::Kind::success:
        break;
    }
    qCInfo(lcCloudPage).noquote() << "Success! User " + result.accountId + " is logged into Dropbox.";
    QPointer<CloudViewController> self(this);
    dropbox()->getUserInfo([self](bool ok) {
        // Only while Dropbox is still the open service: its account must not land on another's card.
        if (!self || !ok || self->currentLoginService != CloudLoginService::dropbox)
            return;
        self->cloudBackBtn->show();
        self->showAccountInfo(self->dropbox()->photo(), QImage(), self->dropbox()->email(),
                              self->accountSpaceLabel->text(), QStringLiteral("Dropbox"));
        self->accountBackView->show();
    });
    dropbox()->getUserSpace([self](bool ok) {
        if (self && ok && self->currentLoginService == CloudLoginService::dropbox)
            self->accountSpaceLabel->setText(self->dropbox()->spaceInfo());
    });
    hasDropboxLogedIn = true;
    writeFlag("hasDropboxLogedIn", true);
    currentLoginService = CloudLoginService::dropbox;
    updateServiceIcons();
    // The card and the way back show at once; the account's details fill them as they come.
    showAccountInfo(QString(), QImage(), dropbox()->email(), QString(), QStringLiteral("Dropbox"));
    cloudBackBtn->show();
    accountBackView->show();
    cloudAccountBackView->hide();
}

void CloudViewController::gdLoginFinished(bool signedIn)
{
    if (!signedIn)
        return;
    hasGoogleLogedIn = true;
    writeFlag("hasGoogleLogedIn", true);
    openService(CloudLoginService::googleDrive);
}

void CloudViewController::odLoginFinished(bool signedIn)
{
    if (!signedIn)
        return;
    // Signed in only once the e-mail and the photo are both read.
    const quint64 round = ++oneDriveAccountRound_;
    accountBlockView->show();
    accountBlockView->raise();
    auto pending = std::make_shared<int>(2);
    QPointer<CloudViewController> self(this);
    auto answer = [self, round, pending](bool ok) {
        if (!self || round != self->oneDriveAccountRound_)
            return;
        if (!ok) {
            ++self->oneDriveAccountRound_; // the other answer no longer counts
            self->accountBlockView->hide();
            qCWarning(lcCloudPage) << "OneDrive account could not be read; staying signed out";
            return;
        }
        if (--*pending == 0) {
            self->accountBlockView->hide();
            self->oneDriveAccountReady();
        }
    };
    onedrive()->getUserInfo(answer);
    onedrive()->getUserPhoto(answer);
}

void CloudViewController::oneDriveAccountReady()
{
    hasOneDriveLogedIn = true;
    writeFlag("hasOneDriveLogedIn", true);
    openService(CloudLoginService::onedrive);
}

// ---------------------------------------------------------------- sign-outs

void CloudViewController::logoutGoogleDrive()
{
    report(QStringLiteral("Log out Google Drive"));
    if (hasGoogleLogedIn) {
        google()->logout();
        updateGoogleAccountView(true);
    }
    hasGoogleLogedIn = false;
    writeFlag("hasGoogleLogedIn", false);
    googleLogoutBtn->hide();
    googleBoxBtn->boxBtnTitle = QString();
    redraw(googleBoxBtn);
}

void CloudViewController::logoutDropbox()
{
    report(QStringLiteral("Log out Dropbox"));
    if (hasDropboxLogedIn) {
        dropbox()->logout();
        updateDropboxAccountView(true);
    }
    hasDropboxLogedIn = false;
    writeFlag("hasDropboxLogedIn", false);
    dropboxLogoutBtn->hide();
    dropboxBoxBtn->boxBtnTitle = QString();
    redraw(dropboxBoxBtn);
}

void CloudViewController::logoutOneDrive()
{
    report(QStringLiteral("Log out OneDrive"));
    if (hasOneDriveLogedIn) {
        onedrive()->logout();
        updateOneDriveAccountView(true);
    }
    hasOneDriveLogedIn = false;
    writeFlag("hasOneDriveLogedIn", false);
}

// ---------------------------------------------------------------- picking

CloudDownloadViewController* CloudViewController::selectFilesClicked()
{
    if (currentLoginService == CloudLoginService::none)
        return nullptr;
    if (picker_)
        return picker_;
    auto* picker = new CloudDownloadViewController(this);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    picker->setClients(dropbox_, google_, onedrive_);
    picker->downloadDelegate = this;
    picker->currentService = currentLoginService;
    picker->cloudFileSelectedList = CloudItemArray; // it opens with the current picks
    picker->setWindowModality(Qt::ApplicationModal);
    picker_ = picker;
    picker->open();
    return picker;
}

QString CloudViewController::itemKey(const CloudItemClass& item, CloudLoginService service)
{
    // Dropbox folders have no id, and its paths ignore case.
    if (service == CloudLoginService::dropbox || item.id.isEmpty())
        return QStringLiteral("p:") + item.path.toLower();
    return QStringLiteral("i:") + item.id;
}

void CloudViewController::receiveCloudSelection(const QList<CloudItemPtr>& selected, const QList<CloudItemPtr>& expanded)
{
    switch (currentLoginService) {
    case CloudLoginService::dropbox:
        cloudSrcImageView->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_cloud_dropbox_changefile"), QSize(40, 40)));
        break;
    case CloudLoginService::googleDrive:
        cloudSrcImageView->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_cloud_google drive_changefile"), QSize(40, 40)));
        break;
    case CloudLoginService::onedrive:
        cloudSrcImageView->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_cloud_onedrive_changefile"), QSize(40, 40)));
        break;
    case CloudLoginService::none:
        break;
    }

    // An entry reached twice (picked, and inside another picked folder) is kept once, so it is
    // neither counted nor downloaded twice.
    QSet<QString> seen;
    QList<CloudItemPtr> picks;
    QList<CloudItemPtr> beneath;
    for (const CloudItemPtr& item : selected) {
        if (item && !seen.contains(itemKey(*item, currentLoginService))) {
            seen.insert(itemKey(*item, currentLoginService));
            picks.append(item);
        }
    }
    for (const CloudItemPtr& item : expanded) {
        if (item && !seen.contains(itemKey(*item, currentLoginService))) {
            seen.insert(itemKey(*item, currentLoginService));
            beneath.append(item);
        }
    }
    CloudItemArray = picks;
    CloudSubItemArray = beneath;

    // Folders add nothing themselves (a OneDrive folder states the size of its content);
    // what lies inside them is counted through the expanded files.
    quint64 total = 0;
    for (const QList<CloudItemPtr>* list : { &CloudItemArray, &CloudSubItemArray })
        for (const CloudItemPtr& item : *list)
            if (!item->isFolder())
                total += item->size;

    const bool picked = !CloudItemArray.isEmpty();
    dropboxBoxBtn->setVisible(!picked);
    changeFileBtn->setVisible(picked);
    sourcePanel->setVisible(picked);
    dropboxLogoutBtn->hide();
    googleLogoutBtn->hide();
    changeFileBtn->setText(tr("Select Files") + QStringLiteral(" (") + UtilityFunctions::formatSize(qint64(std::min<quint64>(total, quint64(std::numeric_limits<qint64>::max()))))
                           + QStringLiteral(")"));
    dropHoverLook(changeFileBtn);
    cloudSourceTotalSize = total;
    reloadTable();
    updateBackupButton();
}

void CloudViewController::reloadTable()
{
    cloudBoxTableView->clear();
    for (const CloudItemPtr& item : std::as_const(CloudItemArray)) {
        QString text = item->path;
        if (currentLoginService == CloudLoginService::googleDrive) {
            text = item->googleRoute;
            text.replace(QLatin1Char(':'), QLatin1Char('/'));
        }
        text = text.section(QLatin1Char(';'), 0, 0);
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

void CloudViewController::updateBackupButton()
{
    cloudBackupBtn->setEnabled(!destinationUrl.isEmpty() && !destPathTextLabel->text().isEmpty()
                               && cloudBoxTableView->count() > 0);
}

// ---------------------------------------------------------------- destination

QFileDialog* CloudViewController::selectDestBtnClicked()
{
    auto* panel = new QFileDialog(this, tr("Choose a destination folder"));
    panel->setObjectName(QStringLiteral("destinationPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setFileMode(QFileDialog::Directory);
    panel->setSizeGripEnabled(true);
    panel->setDirectory(QDir::homePath());
    QList<QUrl> places { QUrl::fromLocalFile(QDir::homePath()), QUrl::fromLocalFile(QStringLiteral("/")) };
    for (const QString& root : ExternalVolumes::mountedRoots())
        places.append(QUrl::fromLocalFile(root));
    panel->setSidebarUrls(places);
    panel->setWindowModality(Qt::ApplicationModal);
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (!path.isEmpty())
            destinationChosen(path);
    });
    panel->open();
    return panel;
}

QString CloudViewController::permissionText(const QString& path) const
{
    // The volume's name and the path below it, as the user knows the folder.
    const std::optional<QString> root = UtilityFunctions::getVolumeRoot(path);
    if (!root)
        return path;
    const QString below = QDir(*root).relativeFilePath(path);
    QString shown = QLatin1Char('/') + QFileInfo(*root).fileName();
    if (!below.isEmpty() && below != QLatin1String("."))
        shown += QLatin1Char('/') + below;
    return shown;
}

void CloudViewController::destinationChosen(const QString& chosen)
{
    const QString path = QDir::cleanPath(chosen);
    if (path == QLatin1String("/")) {
        showMessage(tr("Error"), kErrorImage, tr("You can't use the system root directory as destination"), false);
        return;
    }
    if (UtilityFunctions::isExternalVolumePath(path)
        && UtilityFunctions::identityPart(UtilityFunctions::tagPathWithDevice(path)) == QLatin1String("#")) {
        showMessage(tr("Error"), kErrorImage,
                    QLatin1Char('"') + permissionText(path) + QStringLiteral("\" ")
                        + tr("as the destination path: Permission denied."),
                    false);
        return;
    }
    const qint64 free = UtilityFunctions::getFreeSpace(path);
    destinationBtn->setText(tr("Destination") + QStringLiteral(" (")
                            + tr("%1 available").arg(UtilityFunctions::formatSize(free)) + QStringLiteral(")"));
    dropHoverLook(destinationBtn);
    cloudDestinationFreeSpace = free;
    setDestination(path);
}

void CloudViewController::setDestination(const QString& path)
{
    if (path.isEmpty())
        return;
    googleBoxBtn->hide();
    destinationBtn->show();
    destinationPanel->show();
    destinationUrl = path;
    destPathTextLabel->setText(path);
    destPathTextLabel->setToolTip(path);
    updateBackupButton();
}

// ---------------------------------------------------------------- leaving, messages

void CloudViewController::cloudBackBtnClicked()
{
    confirmLeave();
}

void CloudViewController::confirmLeave()
{
    showMessage(tr("Information"), QStringLiteral("ic_log_info"), tr("Discard all selections and exit?"), true);
}

void CloudViewController::showMessage(const QString& title, const QString& image, const QString& text, bool secondButton)
{
    UtilityFunctions::showMessageView(this, title, image, text, secondButton);
}

void CloudViewController::btnClicked(int index)
{
    if (index == 0)
        resetToServiceChoice();
}

void CloudViewController::resetToServiceChoice()
{
    cloudSourceTotalSize = 0;
    cloudDestinationFreeSpace = 0;
    dropboxBoxBtn->show();
    googleBoxBtn->show();
    changeFileBtn->hide();
    destinationBtn->hide();
    sourcePanel->hide();
    destinationPanel->hide();
    CloudItemArray.clear();
    reloadTable();
    destinationUrl.clear();
    destPathTextLabel->setText(QString());
    destPathTextLabel->setToolTip(QString());
    cloudBackupBtn->setEnabled(false);
    currentLoginService = CloudLoginService::none;
    updateServiceIcons();
    cloudBackBtn->hide();
    accountBackView->hide();
    cloudAccountBackView->show();
    cloudAccountBackView->raise();
}

void CloudViewController::resetCloudPage()
{
    // The tiles carry the accounts' e-mails while the service choice covers them.
    dropboxBoxBtn->boxBtnTitle = hasDropboxLogedIn ? dropbox()->email() : QString();
    googleBoxBtn->boxBtnTitle = hasGoogleLogedIn ? google()->email() : QString();
    redraw(dropboxBoxBtn);
    redraw(googleBoxBtn);
    arrowImageView->hide();
    cloudBackupBtn->hide();
    resetToServiceChoice();
}

// ---------------------------------------------------------------- run start

QString CloudViewController::parentPathOf(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        parts.removeLast();
    QString out;
    for (const QString& part : std::as_const(parts))
        out += QLatin1Char('/') + part;
    return out;
}

std::optional<QString> CloudViewController::relativeFolderOf(const CloudItemClass& item, CloudLoginService service)
{
    // Google Drive places entries by their route, where a "/" of a name is already ":".
    const bool google = service == CloudLoginService::googleDrive;
    const QString cloudPath = google ? item.googleRoute : item.path;
    const QString name = google ? routeName(item.name) : item.name;
    if (cloudPath.isEmpty() || name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return std::nullopt;
    for (const QString& part : cloudPath.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return std::nullopt;
    // The entry's own folder, or the folder that holds the file: its last component dropped,
    // never its name cut out of the whole path.
    return item.isFolder() ? cloudPath : parentPathOf(cloudPath);
}

void CloudViewController::cloudBackupClicked()
{
    startCloudRun();
}

void CloudViewController::startCloudRun()
{
    if (quint64(std::max<qint64>(cloudDestinationFreeSpace, 0)) < cloudSourceTotalSize) {
        showMessage(tr("Error"), kErrorImage,
                    tr("Not enough space at the selected destination. Please change a destination."), false);
        return;
    }
    if (destinationUrl.isEmpty())
        return;
    const QString dest = destinationUrl;
    cloudSourceTotalSize = 0;
    cloudDestinationFreeSpace = 0;
    switch (currentLoginService) {
    case CloudLoginService::dropbox:
        report(QStringLiteral("Do Dropbox backup"));
        break;
    case CloudLoginService::googleDrive:
        report(QStringLiteral("Do Google Drive backup"));
        break;
    case CloudLoginService::onedrive:
        report(QStringLiteral("Do One Drive backup"));
        break;
    case CloudLoginService::none:
        break;
    }

    CloudItemArray += CloudSubItemArray;
    for (const CloudItemPtr& item : std::as_const(CloudItemArray)) {
        const std::optional<QString> relative = relativeFolderOf(*item, currentLoginService);
        std::optional<QString> dir = dest;
        if (!relative)
            dir.reset();
        else if (!relative->isEmpty())
            dir = CloudLocalPath::resolve(dest, *relative);
        if (!dir) {
            // The run fails this entry with its own remark; the others go on.
            qCInfo(lcCloudPage).noquote() << "Couldn't create document directory";
            continue;
        }
        if (!QFileInfo::exists(*dir) && !QDir().mkpath(*dir))
            qCInfo(lcCloudPage).noquote() << "Couldn't create document directory";
        qCDebug(lcCloudPage).noquote() << "Document directory is " + *dir;
    }

    QList<CloudItemPtr> files;
    for (const CloudItemPtr& item : std::as_const(CloudItemArray))
        if (!item->isFolder())
            files.append(item);
    CloudItemArray = files;
    if (downloadDelegateforMain)
        downloadDelegateforMain->startCloudDownload(CloudItemArray, dest, currentLoginService);
    cloudAccountBackView->show();
    cloudAccountBackView->raise();
}
