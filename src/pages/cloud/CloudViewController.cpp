#include "CloudViewController.h"

#include "AccountPictureLoader.h"
#include "CloudDownloadViewController.h"
#include "CloudPageLog.h"
#include "CloudPickPaths.h"
#include "CloudRunFolders.h"
#include "CloudServiceChoice.h"
#include "DropboxWorker.h"
#include "FolderChooser.h"
#include "GoogleDriveWorker.h"
#include "GoogleReporter.h"
#include "OneDriveWorker.h"
#include "SignInWaitPresenter.h"
#include "UtilityFunctions.h"
#include "cloudDelegate.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QSet>
#include <QSettings>
#include <QShowEvent>
#include <QVBoxLayout>
#include <limits>

namespace {

const QString kCategory = QStringLiteral("Cloud Action");
const QString kErrorImage = QStringLiteral("ic_log_lable");

void report(const QString& action)
{
    GoogleReporter::shared().event(kCategory, action, QString());
}

} // namespace

CloudViewController::CloudViewController(QWidget* parent)
    : QWidget(parent)
    , openView_(new CloudOpenServiceView(this))
    , serviceChoice_(new CloudServiceChoice(this))
    , pictures_(new AccountPictureLoader(this))
{
    setObjectName(QStringLiteral("CloudViewController"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#CloudViewController { background: rgb(227, 227, 227); }"));
    defaults = new QSettings(this);

    // The service choice lies over the open service.
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->addWidget(openView_);
    serviceChoice_->raise();

    connect(openView_, &CloudOpenServiceView::backClicked, this, &CloudViewController::cloudBackBtnClicked);
    connect(openView_, &CloudOpenServiceView::sourceClicked, this, &CloudViewController::selectFilesClicked);
    connect(openView_, &CloudOpenServiceView::destinationClicked, this, &CloudViewController::selectDestBtnClicked);
    connect(openView_, &CloudOpenServiceView::backupClicked, this, &CloudViewController::cloudBackupClicked);
    CloudAccountRow* dropboxRow = row(CloudLoginService::dropbox);
    CloudAccountRow* googleRow = row(CloudLoginService::googleDrive);
    CloudAccountRow* onedriveRow = row(CloudLoginService::onedrive);
    connect(dropboxRow, &CloudAccountRow::signInClicked, this, &CloudViewController::dropboxBtnClicked);
    connect(dropboxRow, &CloudAccountRow::signOutClicked, this, &CloudViewController::logoutDropbox);
    connect(dropboxRow, &CloudAccountRow::openClicked, this, &CloudViewController::dropboxBtnClicked);
    connect(googleRow, &CloudAccountRow::signInClicked, this, &CloudViewController::googleBtnClicked);
    connect(googleRow, &CloudAccountRow::signOutClicked, this, &CloudViewController::logoutGoogleDrive);
    connect(googleRow, &CloudAccountRow::openClicked, this, &CloudViewController::googleBtnClicked);
    connect(onedriveRow, &CloudAccountRow::signInClicked, this, &CloudViewController::onedriveClicked);
    connect(onedriveRow, &CloudAccountRow::signOutClicked, this, &CloudViewController::logoutOneDrive);
    connect(onedriveRow, &CloudAccountRow::openClicked, this, &CloudViewController::onedriveClicked);
    connect(pictures_, &AccountPictureLoader::finished, this, [this](QLabel* view, bool shown) {
        if (shown && view == openView_->accountPictureView())
            Q_EMIT accountPictureShown();
    });

    // Every launch starts signed out: the tokens live in the clients' memory only. The rows
    // are drawn by the service choice.
    writeFlag("hasDropboxLogedIn", hasDropboxLogedIn);
    writeFlag("hasGoogleLogedIn", hasGoogleLogedIn);
    writeFlag("hasOneDriveLogedIn", hasOneDriveLogedIn);
    resetToServiceChoice();
}

CloudViewController::~CloudViewController() = default;

void CloudViewController::embed(QObject* mainWindow)
{
    representedObject = mainWindow;
    downloadDelegateforMain = dynamic_cast<cloudDelegate*>(mainWindow);
}

void CloudViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    serviceChoice_->setGeometry(rect());
}

CloudAccountRow* CloudViewController::row(CloudLoginService service) const
{
    return serviceChoice_->row(service);
}

CloudViewController::Shown CloudViewController::shown() const
{
    Shown s;
    s.serviceChoice = serviceChoice_->isVisibleTo(this);
    s.busy = serviceChoice_->isBusy();
    s.dropbox = row(CloudLoginService::dropbox)->shown();
    s.google = row(CloudLoginService::googleDrive)->shown();
    s.onedrive = row(CloudLoginService::onedrive)->shown();
    s.open = openView_->shown();
    return s;
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
    if (observing)
        observeSignIns();
}

void CloudViewController::setNetworkAccessManager(QNetworkAccessManager* manager)
{
    pictures_->setNetworkAccessManager(manager);
}

void CloudViewController::observeSignIns()
{
    if (google_)
        signInConnections_ << connect(google_, &GoogleDriveWorker::GoogleDrive_login, this,
                                      &CloudViewController::gdLoginFinished);
    if (onedrive_)
        signInConnections_ << connect(onedrive_, &OneDriveWorker::OneDrive_login, this,
                                      &CloudViewController::odLoginFinished);
}

// ---------------------------------------------------------------- view lifecycle

void CloudViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return; // the window came back from the taskbar; the page never went away
    // Sign-in results count only while the page is on screen.
    if (signInConnections_.isEmpty())
        observeSignIns();
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

// ---------------------------------------------------------------- account card and rows

void CloudViewController::showAccountInfo(const QString& pictureAddress, const QImage& image, const QString& email,
                                          const QString& space, const QString& serviceName)
{
    QLabel* view = openView_->accountPictureView();
    if (image.isNull()) {
        // The grey picture stands until the account's own arrives: never another account's.
        pictures_->setFixed(view, AccountPictureLoader::greyAccountPicture());
        const QUrl url(pictureAddress);
        if (!pictureAddress.isEmpty() && url.isValid())
            pictures_->load(url, view);
    } else {
        pictures_->setFixed(view, QPixmap::fromImage(image).scaled(view->size(), Qt::KeepAspectRatio,
                                                                   Qt::SmoothTransformation));
    }
    openView_->setAccount(serviceName, email, space);
}

void CloudViewController::updateDropboxAccountView(bool signedOut)
{
    CloudAccountRow* r = row(CloudLoginService::dropbox);
    r->setSignedIn(!signedOut);
    if (signedOut) {
        pictures_->setFixed(r->pictureView(), AccountPictureLoader::greyAccountPicture());
        return;
    }
    r->setEmail(dropbox()->email());
    const QUrl url(dropbox()->photo());
    if (!dropbox()->photo().isEmpty() && url.isValid())
        pictures_->load(url, r->pictureView());
}

void CloudViewController::updateGoogleAccountView(bool signedOut)
{
    CloudAccountRow* r = row(CloudLoginService::googleDrive);
    r->setSignedIn(!signedOut);
    if (signedOut) {
        pictures_->setFixed(r->pictureView(), AccountPictureLoader::greyAccountPicture());
        return;
    }
    r->setEmail(google()->email());
    const QUrl url(google()->photoUrl());
    if (!google()->photoUrl().isEmpty() && url.isValid())
        pictures_->load(url, r->pictureView());
}

void CloudViewController::updateOneDriveAccountView(bool signedOut)
{
    CloudAccountRow* r = row(CloudLoginService::onedrive);
    r->setSignedIn(!signedOut);
    if (signedOut) {
        pictures_->setFixed(r->pictureView(), AccountPictureLoader::greyAccountPicture());
        return;
    }
    r->setEmail(onedrive()->email());
    const QImage image = QImage::fromData(onedrive()->image());
    pictures_->setFixed(r->pictureView(),
                        image.isNull() ? AccountPictureLoader::greyAccountPicture()
                                       : AccountPictureLoader::circularImage(QPixmap::fromImage(image).scaled(
                                             r->pictureView()->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

// ---------------------------------------------------------------- tiles and sign buttons

void CloudViewController::openService(CloudLoginService service)
{
    currentLoginService = service;
    updateServiceIcons();
    openView_->setAccountShown(true);
    switch (service) {
    case CloudLoginService::dropbox:
        showAccountInfo(dropbox()->photo(), QImage(), dropbox()->email(), dropbox()->spaceInfo(), QStringLiteral("Dropbox"));
        break;
    case CloudLoginService::googleDrive:
        showAccountInfo(google()->photoUrl(), QImage(), google()->email(), QString(), QStringLiteral("Google Drive"));
        break;
    case CloudLoginService::onedrive:
        showAccountInfo(QString(), QImage::fromData(onedrive()->image()), onedrive()->email(), QString(),
                        QStringLiteral("One Drive"));
        break;
    case CloudLoginService::none:
        break;
    }
    serviceChoice_->hide();
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

void CloudViewController::updateServiceIcons()
{
    if (currentLoginService == CloudLoginService::none) {
        updateDropboxAccountView(!hasDropboxLogedIn);
        updateGoogleAccountView(!hasGoogleLogedIn);
        updateOneDriveAccountView(!hasOneDriveLogedIn);
        row(CloudLoginService::dropbox)->setSignOutVisible(hasDropboxLogedIn);
        row(CloudLoginService::googleDrive)->setSignOutVisible(hasGoogleLogedIn);
        openView_->setBackupShown(false);
        return;
    }
    switch (currentLoginService) {
    case CloudLoginService::dropbox:
        openView_->setSourceTile(QStringLiteral("ic_cloud_dropbox"), tr("Select Files"));
        updateDropboxAccountView(false);
        break;
    case CloudLoginService::googleDrive:
        openView_->setSourceTile(QStringLiteral("ic_cloud_google drive"), tr("Select Files"));
        updateGoogleAccountView(false);
        break;
    case CloudLoginService::onedrive:
        openView_->setSourceTile(QStringLiteral("ic_cloud_onedrive"), tr("Select Files"));
        updateOneDriveAccountView(false);
        break;
    case CloudLoginService::none:
        break;
    }
    openView_->setDestinationTile(QStringLiteral("ic_cloud_Destination"), tr("Destination"));
    row(CloudLoginService::dropbox)->setSignOutVisible(false);
    row(CloudLoginService::googleDrive)->setSignOutVisible(false);
    openView_->setBackupShown(true);
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
        self->showAccountInfo(self->dropbox()->photo(), QImage(), self->dropbox()->email(), self->openView_->space(),
                              QStringLiteral("Dropbox"));
        self->openView_->setAccountShown(true);
    });
    dropbox()->getUserSpace([self](bool ok) {
        if (self && ok && self->currentLoginService == CloudLoginService::dropbox)
            self->openView_->setSpace(self->dropbox()->spaceInfo());
    });
    hasDropboxLogedIn = true;
    writeFlag("hasDropboxLogedIn", true);
    currentLoginService = CloudLoginService::dropbox;
    updateServiceIcons();
    // The card and the way back show at once; the account's details fill them as they come.
    showAccountInfo(QString(), QImage(), dropbox()->email(), QString(), QStringLiteral("Dropbox"));
    openView_->setAccountShown(true);
    serviceChoice_->hide();
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
    serviceChoice_->setBusy(true);
    auto pending = std::make_shared<int>(2);
    QPointer<CloudViewController> self(this);
    auto answer = [self, round, pending](bool ok) {
        if (!self || round != self->oneDriveAccountRound_)
            return;
        if (!ok) {
            ++self->oneDriveAccountRound_; // the other answer no longer counts
            self->serviceChoice_->setBusy(false);
            qCWarning(lcCloudPage) << "OneDrive account could not be read; staying signed out";
            return;
        }
        if (--*pending == 0) {
            self->serviceChoice_->setBusy(false);
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
    row(CloudLoginService::googleDrive)->setSignOutVisible(false);
    openView_->setDestinationTileTitle(QString());
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
    row(CloudLoginService::dropbox)->setSignOutVisible(false);
    openView_->setSourceTileTitle(QString());
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

void CloudViewController::receiveCloudSelection(const QList<CloudItemPtr>& selected, const QList<CloudItemPtr>& expanded)
{
    // An entry reached twice (picked, and inside another picked folder) is kept once, so it is
    // neither counted nor downloaded twice.
    QSet<QString> seen;
    QList<CloudItemPtr> picks;
    QList<CloudItemPtr> beneath;
    for (const CloudItemPtr& item : selected) {
        if (item && !seen.contains(CloudPickPaths::identityKey(*item, currentLoginService))) {
            seen.insert(CloudPickPaths::identityKey(*item, currentLoginService));
            picks.append(item);
        }
    }
    for (const CloudItemPtr& item : expanded) {
        if (item && !seen.contains(CloudPickPaths::identityKey(*item, currentLoginService))) {
            seen.insert(CloudPickPaths::identityKey(*item, currentLoginService));
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
    cloudSourceTotalSize = total;
    row(CloudLoginService::dropbox)->setSignOutVisible(false);
    row(CloudLoginService::googleDrive)->setSignOutVisible(false);
    showPicks();
    updateBackupButton();
}

void CloudViewController::showPicks()
{
    QString picture;
    switch (currentLoginService) {
    case CloudLoginService::dropbox: picture = QStringLiteral("ic_cloud_dropbox_changefile"); break;
    case CloudLoginService::googleDrive: picture = QStringLiteral("ic_cloud_google drive_changefile"); break;
    case CloudLoginService::onedrive: picture = QStringLiteral("ic_cloud_onedrive_changefile"); break;
    case CloudLoginService::none: break;
    }
    QStringList rows;
    for (const CloudItemPtr& item : std::as_const(CloudItemArray)) {
        QString text = item->path;
        if (currentLoginService == CloudLoginService::googleDrive) {
            text = item->googleRoute;
            text.replace(QLatin1Char(':'), QLatin1Char('/'));
        }
        rows << text.section(QLatin1Char(';'), 0, 0);
    }
    const qint64 total = qint64(std::min<quint64>(cloudSourceTotalSize, quint64(std::numeric_limits<qint64>::max())));
    openView_->showPicks(rows, picture,
                         tr("Select Files") + QStringLiteral(" (") + UtilityFunctions::formatSize(total)
                             + QStringLiteral(")"));
}

void CloudViewController::updateBackupButton()
{
    openView_->setBackupEnabled(!destinationUrl.isEmpty() && !openView_->destinationPath().isEmpty()
                                && openView_->pickCount() > 0);
}

// ---------------------------------------------------------------- destination

QFileDialog* CloudViewController::selectDestBtnClicked()
{
    QFileDialog* panel = FolderChooser::destinationDialog(this, tr("Choose a destination folder"));
    panel->setObjectName(QStringLiteral("destinationPanel"));
    panel->setSizeGripEnabled(true);
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
    openView_->setDestinationButtonText(tr("Destination") + QStringLiteral(" (")
                                        + tr("%1 available").arg(UtilityFunctions::formatSize(free))
                                        + QStringLiteral(")"));
    cloudDestinationFreeSpace = free;
    setDestination(path);
}

void CloudViewController::setDestination(const QString& path)
{
    if (path.isEmpty())
        return;
    destinationUrl = path;
    openView_->showDestination(path);
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
    CloudItemArray.clear();
    destinationUrl.clear();
    openView_->clear();
    currentLoginService = CloudLoginService::none;
    updateServiceIcons();
    serviceChoice_->show();
    serviceChoice_->raise();
}

void CloudViewController::resetCloudPage()
{
    // The tiles carry the accounts' e-mails while the service choice covers them.
    openView_->setSourceTileTitle(hasDropboxLogedIn ? dropbox()->email() : QString());
    openView_->setDestinationTileTitle(hasGoogleLogedIn ? google()->email() : QString());
    openView_->setBackupShown(false);
    resetToServiceChoice();
}

// ---------------------------------------------------------------- run start

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
    CloudRunFolders::make(CloudItemArray, dest, currentLoginService);

    QList<CloudItemPtr> files;
    for (const CloudItemPtr& item : std::as_const(CloudItemArray))
        if (!item->isFolder())
            files.append(item);
    CloudItemArray = files;
    if (downloadDelegateforMain)
        downloadDelegateforMain->startCloudDownload(CloudItemArray, dest, currentLoginService);
    serviceChoice_->show();
    serviceChoice_->raise();
}
