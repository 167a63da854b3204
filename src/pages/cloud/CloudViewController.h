#pragma once

#include "CloudItemClass.h"
#include "CloudLoginService.h"
#include "DropboxOAuthResult.h"
#include "EmbeddedPage.h"
#include "cloudDownloadListDelegate.h"
#include "messageViewDelegate.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <memory>
#include <optional>

class AddTaskSmallBoxButton;
class CloudBoxButton;
class CloudDownloadViewController;
class CloudTempBlockView;
class DropboxWorker;
class ElidedLabel;
class GoogleDriveWorker;
class OneDriveWorker;
class QFileDialog;
class QLabel;
class QListWidget;
class QNetworkAccessManager;
class QSettings;
class SignInWaitPresenter;
class circleButton;
class cloudDelegate;
class customizeButton;

// The Cloud Backup tab. The user signs in to a service, opens it, picks cloud files and
// folders in the picker, chooses a local folder and starts the download. The page downloads
// nothing itself: it checks free space, recreates the picked folders under the destination and
// hands the files to the main window (cloudDelegate), which shows the run screen.
//
// Screen states: the service choice (cloudAccountBackView with one account row per service)
// while no service is open; an open service shows its account card, the source tile (the
// picks once made), the destination tile (the folder once chosen) and the Backup button.
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

    // --- account card of the open service ---
    QWidget* accountBackView = nullptr;
    QLabel* accountImageView = nullptr;
    QLabel* accountSpaceLabel = nullptr;
    QLabel* accountEmailLabel = nullptr;
    QLabel* accountServiceLabel = nullptr;
    // --- service choice ---
    QWidget* cloudAccountBackView = nullptr;
    QLabel* googleProfileImg = nullptr;
    QLabel* googleEmailLabel = nullptr;
    customizeButton* googleSignBtn = nullptr;
    QLabel* dropboxProfileImg = nullptr;
    QLabel* dropboxEmailLabel = nullptr;
    customizeButton* dropboxSignBtn = nullptr;
    QLabel* onedriveProfileImg = nullptr;
    QLabel* onedriveEmailLabel = nullptr;
    customizeButton* onedriveSignBtn = nullptr;
    // Open a signed-in service (the tile action of its row).
    customizeButton* dropboxOpenBtn = nullptr;
    customizeButton* googleOpenBtn = nullptr;
    customizeButton* onedriveOpenBtn = nullptr;
    customizeButton* dropboxLogoutBtn = nullptr;
    customizeButton* googleLogoutBtn = nullptr;
    // Keeps the rows from being clicked while a signed-in account is still being read.
    CloudTempBlockView* accountBlockView = nullptr;
    // --- open service ---
    CloudBoxButton* dropboxBoxBtn = nullptr; // source tile
    CloudBoxButton* googleBoxBtn = nullptr;  // destination tile
    circleButton* cloudBackBtn = nullptr;
    AddTaskSmallBoxButton* changeFileBtn = nullptr;
    AddTaskSmallBoxButton* destinationBtn = nullptr;
    QWidget* sourcePanel = nullptr;      // the picks, in place of the source tile
    QWidget* destinationPanel = nullptr; // the folder, in place of the destination tile
    QListWidget* cloudBoxTableView = nullptr;
    ElidedLabel* destPathTextLabel = nullptr;
    customizeButton* cloudBackupBtn = nullptr;
    QLabel* arrowImageView = nullptr;
    QLabel* cloudSrcImageView = nullptr;

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
    DropboxWorker* dropbox() const;
    GoogleDriveWorker* google() const;
    OneDriveWorker* onedrive() const;

    // --- actions ---
    void dropboxBtnClicked();
    void googleBtnClicked();
    void onedriveClicked();
    void dropboxSignBtnClicked();
    void googleSignBtnClicked();
    void onedriveSignBtnClicked();
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

    // Reads the picture at `url` without waiting and shows it, made circular, in `view`; a
    // later load into the same view (or a fixed picture) wins over an earlier one.
    void loadProfileImage(const QUrl& url, QLabel* view);
    void setFixedPicture(QLabel* view, const QPixmap& picture);
    static QPixmap circularImage(const QPixmap& image);
    static QPixmap greyAccountPicture();

    // "/a/b/c.txt" gives "/a/b"; a path of one part or none gives "".
    static QString parentPathOf(const QString& path);
    // The folder an entry needs under the destination, relative to it: a folder itself, a
    // file's parent. Empty for the destination itself; null when the entry names no safe place.
    static std::optional<QString> relativeFolderOf(const CloudItemClass& item, CloudLoginService service);
    // What tells two records of one entry apart from others of the same service.
    static QString itemKey(const CloudItemClass& item, CloudLoginService service);

Q_SIGNALS:
    // A picture load has put its image into `view` (or given up).
    void pictureLoadFinished(QLabel* view, bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildServiceChoice();
    void buildOpenService();
    QWidget* accountRow(const QString& serviceName, const QString& image, QLabel** picture, QLabel** email,
                        customizeButton** sign, customizeButton** open, customizeButton** logout);
    void openService(CloudLoginService service);
    void showMessage(const QString& title, const QString& image, const QString& text, bool secondButton);
    void reloadTable();
    void updateBackupButton();
    void writeFlag(const char* key, bool value);
    static void redraw(CloudBoxButton* tile);
    void setSignButtonTitle(customizeButton* button, const QString& title);
    QString permissionText(const QString& path) const;

    DropboxWorker* dropbox_ = nullptr;
    GoogleDriveWorker* google_ = nullptr;
    OneDriveWorker* onedrive_ = nullptr;
    QNetworkAccessManager* nam_ = nullptr;
    std::unique_ptr<QNetworkAccessManager> ownNam_;
    QList<QMetaObject::Connection> signInConnections_;
    SignInWaitPresenter* signInWaits_ = nullptr;
    QHash<QLabel*, quint64> pictureGeneration_; // the load each picture view waits for
    quint64 pictureCounter_ = 0;
    quint64 oneDriveAccountRound_ = 0;          // the sign-in whose account reads count
    QPointer<CloudDownloadViewController> picker_;
};
