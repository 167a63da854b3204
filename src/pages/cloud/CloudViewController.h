#pragma once

#include "CloudAccountRow.h"
#include "CloudItemClass.h"
#include "CloudLoginService.h"
#include "CloudOpenServiceView.h"
#include "DropboxOAuthResult.h"
#include "EmbeddedPage.h"
#include "cloudDownloadListDelegate.h"
#include "messageViewDelegate.h"

#include <QImage>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>

class AccountPictureLoader;
class CloudDownloadViewController;
class CloudServiceChoice;
class DropboxWorker;
class GoogleDriveWorker;
class OneDriveWorker;
class QFileDialog;
class QLabel;
class QNetworkAccessManager;
class QSettings;
class SignInWaitPresenter;
class cloudDelegate;

// The Cloud Backup tab. The user signs in to a service, opens it, picks cloud files and
// folders in the picker, chooses a local folder and starts the download. The page downloads
// nothing itself: it checks free space, recreates the picked folders under the destination and
// hands the files to the main window (cloudDelegate), which shows the run screen.
//
// Screen states: the service choice (one account row per service) while no service is open;
// an open service shows its account card, the source tile (the picks once made), the
// destination tile (the folder once chosen) and the Backup button.
class CloudViewController : public QWidget,
                            public EmbeddedPage,
                            public cloudDownloadListDelegate,
                            public messageViewDelegate {
    Q_OBJECT
public:
    explicit CloudViewController(QWidget* parent = nullptr);
    ~CloudViewController() override;

    // EmbeddedPage: the main window becomes representedObject and, when it is one, the
    // cloudDelegate that starts runs.
    void embed(QObject* mainWindow) override;

    QSettings* defaults = nullptr;
    QList<CloudItemPtr> CloudItemArray;    // the picks; at run start, the files to download
    QList<CloudItemPtr> CloudSubItemArray; // what lies beneath the picked folders
    QString destinationUrl;                // chosen local folder; empty: none
    quint64 cloudSourceTotalSize = 0;
    qint64 cloudDestinationFreeSpace = 0;
    QObject* representedObject = nullptr;
    cloudDelegate* downloadDelegateforMain = nullptr; // not owned
    CloudLoginService currentLoginService = CloudLoginService::none;
    bool hasDropboxLogedIn = false;
    bool hasOneDriveLogedIn = false;
    bool hasGoogleLogedIn = false;

    // The clients the page works with (not owned; set before the page is used) and the
    // manager that reads pictures.
    void setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive);
    void setNetworkAccessManager(QNetworkAccessManager* manager);
    DropboxWorker* dropbox() const { return dropbox_; }
    GoogleDriveWorker* google() const { return google_; }
    OneDriveWorker* onedrive() const { return onedrive_; }

    // --- actions ---
    void dropboxBtnClicked();
    void googleBtnClicked();
    void onedriveClicked();
    // The picker over the page, already open; null when no service is open.
    CloudDownloadViewController* selectFilesClicked();
    // The folder chooser, already open.
    QFileDialog* selectDestBtnClicked();
    void cloudBackupClicked();
    void cloudBackBtnClicked();

    // --- sign-in results and sign-outs ---
    void dropboxAuthFinished(const DropboxOAuthResult& result);
    void gdLoginFinished(bool signedIn);
    void odLoginFinished(bool signedIn);
    void logoutGoogleDrive();
    void logoutDropbox();
    void logoutOneDrive();

    // --- called by the main window ---
    // Tiles and side buttons for currentLoginService.
    void updateServiceIcons();
    // Back to the service choice after a run: picks, destination and open service dropped.
    void resetCloudPage();

    // cloudDownloadListDelegate
    void receiveCloudSelection(const QList<CloudItemPtr>& selected, const QList<CloudItemPtr>& expanded) override;
    // messageViewDelegate: the close button (0) drops everything and goes back to the service
    // choice; the cancel button (1) keeps it.
    void btnClicked(int index) override;

    // --- steps ---
    void showAccountInfo(const QString& pictureAddress, const QImage& image, const QString& email,
                         const QString& space, const QString& serviceName);
    void updateDropboxAccountView(bool signedOut);
    void updateGoogleAccountView(bool signedOut);
    void updateOneDriveAccountView(bool signedOut);
    void oneDriveAccountReady();
    // Steps 2 to 4 of choosing a destination, for the folder the chooser answered.
    void destinationChosen(const QString& path);
    void setDestination(const QString& path);
    void confirmLeave();
    void resetToServiceChoice();
    void startCloudRun();

    // What tells two records of one entry apart from others of the same service.

    // What the page shows, as the user sees it.
    struct Shown {
        bool serviceChoice = false;  // the account rows cover the page
        bool busy = false;           // the rows are blocked while an account is read
        CloudAccountRow::Shown dropbox, google, onedrive;
        CloudOpenServiceView::Shown open;
    };
    Shown shown() const;

Q_SIGNALS:
    // The open service's account card shows the account's own picture.
    void accountPictureShown();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void openService(CloudLoginService service);
    CloudAccountRow* row(CloudLoginService service) const;
    void showMessage(const QString& title, const QString& image, const QString& text, bool secondButton);
    void showPicks();
    void updateBackupButton();
    void writeFlag(const char* key, bool value);
    void observeSignIns();
    QString permissionText(const QString& path) const;

    CloudOpenServiceView* openView_;
    CloudServiceChoice* serviceChoice_;
    AccountPictureLoader* pictures_;
    SignInWaitPresenter* signInWaits_ = nullptr;

    DropboxWorker* dropbox_ = nullptr;
    GoogleDriveWorker* google_ = nullptr;
    OneDriveWorker* onedrive_ = nullptr;
    QList<QMetaObject::Connection> signInConnections_;
    quint64 oneDriveAccountRound_ = 0; // the sign-in whose account reads count
    QPointer<CloudDownloadViewController> picker_;
};
