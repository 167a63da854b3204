#pragma once

#include "CloudCellDelegate.h"
#include "CloudExpansionDelays.h"
#include "CloudFolderExpansion.h"
#include "CloudFolderLister.h"
#include "CloudItemClass.h"
#include "CloudLoginService.h"
#include "CloudPathItem.h"
#include "messageViewDelegate.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <optional>

class CloudItemTableCell;
class CloudPathControl;
class DropboxWorker;
class GoogleDriveWorker;
class OneDriveWorker;
class ProgressRing;
class QLabel;
class QTableWidget;
class circleButton;
class cloudDownloadListDelegate;
class customizeButton;

// The cloud file picker: the user browses the chosen service one folder at a time and picks
// files and folders; the picks survive navigation. Done walks the picked folders down to
// their files and hands both lists to the Cloud Backup page; Cancel hands nothing back.
// Shown with open() over the page, which fills downloadDelegate, currentService and
// cloudFileSelectedList first.
class CloudDownloadViewController : public QDialog, public CloudCellDelegate, public messageViewDelegate {
    Q_OBJECT
public:
    explicit CloudDownloadViewController(QWidget* parent = nullptr);
    ~CloudDownloadViewController() override;


    QList<CloudItemPtr> cloudFileSelectedList; // the picks, in the order picked
    QList<CloudItemPtr> cloudFileSubList;      // what Done found beneath the picked folders
    std::optional<CloudLoginService> currentService;
    cloudDownloadListDelegate* downloadDelegate = nullptr; // not owned
    QList<CloudItemPtr> data;                 // the rows of the folder on screen
    QString currentFolder;                    // Dropbox path, Google Drive route or OneDrive name path
    QString currentFolderId;
    bool isInSelectedTree = false;            // the folder on screen lies inside a picked folder
    QList<CloudPathItem> descendArray;        // the path bar, root first; empty at the root

    // Clients to list with (not owned); a service without one lists nothing.
    void setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive);
    void setExpansionDelays(const CloudExpansionDelays& delays) { expansionDelays_ = delays; }

    // Listings of the walk started by Done and not yet answered.
    int folderUpdatingCounter() const;
    bool isExpanding() const;
    bool isLoading() const;

    // Actions.
    void folderBackBtnClicked();
    void selectAllClicked();
    void clearAllClicked();
    void cancelClick();
    void doneBtnClicked();
    // A path-bar item: goes back to that folder.
    void clickPath(int index);
    // Opens the folder of the selected row.
    void tableViewDoubleClick();

    void cloudItemCheckChanged(int state, const QString& id, const QString& path) override;
    void btnClicked(int index) override;
    void messageDismissed() override;

    // Browse listings. A listing answered after a later one was asked for is dropped.
    void listDropboxFolder(const QString& path);
    void listGoogleDriveFolder(const QString& route, const QString& id);
    void listOneDriveFolder(const QString& id);

    // "N files, M folders selected.", counted in the picks (zero: both 0).
    void updateSelectedCountLabel(bool zero);

    int numberOfRows() const { return int(data.size()); }
    // A new row view for `row`; null outside `data`.
    CloudItemTableCell* viewForRow(int row);
    // The row view the table shows for `row`, made when not made yet; null outside `data`.
    CloudItemTableCell* cellAt(int row);

    // The folder at `path` is a picked folder or lies inside one (whole components).
    static bool isContainSelectedRoot(const QString& path, const QList<CloudItemPtr>& list, CloudLoginService service);
    // By id when the id is not empty, else by path; none when neither is given or found.
    static std::optional<int> indexOfCloudItem(const QString& id, const QString& path, const QList<CloudItemPtr>& list);

    // What the picker shows besides its rows.
    struct Shown {
        bool back = false;              // the way up one folder
        QList<CloudPathItem> path;      // the path bar, root first
        QString selectedCount;          // "N files, M folders selected."
        bool selectAllEnabled = false;
        bool clearAllEnabled = false;
        bool doneEnabled = false;
        QString listingProblem;         // empty while every listing came whole
    };
    Shown shown() const;

Q_SIGNALS:
    // A browse listing has been put on screen.
    void folderShown();
    // Done handed the lists over.
    void selectionHandedOver();

public:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    circleButton* folderBackBtn = nullptr;
    customizeButton* btn_SelectAll = nullptr;
    customizeButton* btn_ClearAll = nullptr;
    QLabel* selectedItemsCountLable = nullptr;
    ProgressRing* cloudLoadingIndicator = nullptr;
    QWidget* headerColorView = nullptr;
    QTableWidget* dataTableView = nullptr; // object name "dataTableView", one column "NameCol"
    customizeButton* DoneBtn = nullptr;
    customizeButton* CancelBtn = nullptr;
    CloudPathControl* pathControl = nullptr;
    QLabel* listingProblemLabel = nullptr; // shown under the table when a folder listed only in part

    CloudLoginService service() const { return currentService.value_or(CloudLoginService::none); }
    void browse(const QString& path, const QString& id, const QString& route, bool root);
    void showListing(const QList<CloudItemPtr>& items, bool complete, bool root);
    void listCurrentFolder();
    void enterFolder(const QString& folder, const QString& folderId);
    void reloadData();
    void populateVisibleRows();
    void updateControls();
    void setExpanding(bool on);
    void expansionFinished(const CloudFolderExpansion::Result& result);
    void finishPicking();
    static QString withoutLastComponent(const QString& folder);

    QLabel* heading_ = nullptr; // the service's name
    CloudFolderLister lister_;
    CloudExpansionDelays expansionDelays_;
    CloudFolderExpansion* expansion_ = nullptr;
    CloudFolderExpansion::Result pending_;
    bool awaitingWarning_ = false;
    bool appeared_ = false;
    bool loading_ = false;
    quint64 browseSeq_ = 0; // the browse listing whose answer is wanted
};
