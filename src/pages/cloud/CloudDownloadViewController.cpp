#include "CloudDownloadViewController.h"

#include "CloudItemTableCell.h"
#include "CloudPathControl.h"
#include "CloudPickPaths.h"
#include "CloudPickerLog.h"
#include "ControlStyle.h"
#include "ElidedLabel.h"
#include "MessagePresenter.h"
#include "ProgressRing.h"
#include "UtilityFunctions.h"
#include "circleButton.h"
#include "cloudDownloadListDelegate.h"
#include "customizeButton.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kRowHeight = 30;
const QColor kBandGrey(142, 142, 147);

QString serviceName(CloudLoginService service)
{
    switch (service) {
    case CloudLoginService::dropbox:
        return QStringLiteral("Dropbox");
    case CloudLoginService::googleDrive:
        return QStringLiteral("Google Drive");
    case CloudLoginService::onedrive:
        return QStringLiteral("OneDrive");
    case CloudLoginService::none:
        break;
    }
    return QString();
}
} // namespace

CloudDownloadViewController::CloudDownloadViewController(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CloudDownloadViewController"));
    setWindowFlags(ControlStyle::dialogFlags(false));
    setWindowTitle(QString());
    setFixedSize(660, 470);
    setAttribute(Qt::WA_StyledBackground);
    // The page over which the sheet opens may style its children; the sheet keeps its own look.
    setStyleSheet(QStringLiteral("#CloudDownloadViewController { background: %1; }"
                                 " QLabel, QCheckBox, ElidedLabel, CloudItemTableCell, CloudPathControl { background: transparent; }")
                      .arg(ControlStyle::css(ControlStyle::dialogBackground())));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 14, 20, 16);
    layout->setSpacing(0);

    auto* top = new QHBoxLayout;
    top->setSpacing(8);
    folderBackBtn = new circleButton(QStringLiteral("back"), this);
    folderBackBtn->setFixedSize(32, 32);
    folderBackBtn->setIconSize(QSize(32, 32));
    folderBackBtn->setToolTip(tr("Back"));
    folderBackBtn->hide();
    heading_ = new QLabel(this);
    heading_->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(15, true)));
    pathControl = new CloudPathControl(this);
    cloudLoadingIndicator = new ProgressRing(this);
    cloudLoadingIndicator->setFixedSize(20, 20);
    top->addWidget(folderBackBtn);
    top->addWidget(heading_);
    top->addWidget(pathControl, 1);
    top->addWidget(cloudLoadingIndicator);
    layout->addLayout(top);
    layout->addSpacing(8);

    headerColorView = new QWidget(this);
    headerColorView->setObjectName(QStringLiteral("headerColorView"));
    headerColorView->setFixedHeight(3);
    headerColorView->setAttribute(Qt::WA_StyledBackground);
    headerColorView->setStyleSheet(QStringLiteral("background: %1;").arg(ControlStyle::css(kBandGrey)));
    layout->addWidget(headerColorView);

    dataTableView = new QTableWidget(0, 1, this);
    dataTableView->setObjectName(QStringLiteral("dataTableView"));
    auto* column = new QTableWidgetItem(QStringLiteral("NameCol"));
    column->setData(Qt::UserRole, QStringLiteral("NameCol"));
    dataTableView->setHorizontalHeaderItem(0, column);
    dataTableView->horizontalHeader()->hide();
    dataTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    dataTableView->verticalHeader()->hide();
    dataTableView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    dataTableView->verticalHeader()->setDefaultSectionSize(kRowHeight);
    dataTableView->setShowGrid(false);
    dataTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dataTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    dataTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    dataTableView->setFocusPolicy(Qt::NoFocus);
    dataTableView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    dataTableView->setStyleSheet(QStringLiteral("QTableWidget { background: white; border: 1px solid %1; border-top: none; }"
                                                "QTableWidget::item:selected { background: transparent; }")
                                     .arg(ControlStyle::css(kBandGrey)));
    dataTableView->viewport()->installEventFilter(this);
    layout->addWidget(dataTableView, 1);

    listingProblemLabel = new QLabel(this);
    listingProblemLabel->setWordWrap(true);
    listingProblemLabel->setStyleSheet(QStringLiteral("color: rgb(255, 59, 48); %1").arg(ControlStyle::cssFont(12)));
    listingProblemLabel->hide();
    layout->addSpacing(4);
    layout->addWidget(listingProblemLabel);
    layout->addSpacing(8);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(10);
    selectedItemsCountLable = new QLabel(this);
    selectedItemsCountLable->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::greyText()), ControlStyle::cssFont(13)));
    btn_SelectAll = new customizeButton(tr("Select All"), this);
    btn_ClearAll = new customizeButton(tr("Clear All"), this);
    CancelBtn = new customizeButton(tr("Cancel"), this);
    DoneBtn = new customizeButton(tr("Done"), this);
    for (customizeButton* b : {btn_SelectAll, btn_ClearAll, CancelBtn, DoneBtn}) {
        b->setFontSize(13);
        b->setFixedHeight(30);
    }
    bottom->addWidget(selectedItemsCountLable, 1);
    bottom->addWidget(btn_SelectAll);
    bottom->addWidget(btn_ClearAll);
    bottom->addSpacing(24);
    bottom->addWidget(CancelBtn);
    bottom->addWidget(DoneBtn);
    layout->addLayout(bottom);

    connect(folderBackBtn, &QPushButton::clicked, this, &CloudDownloadViewController::folderBackBtnClicked);
    connect(btn_SelectAll, &QPushButton::clicked, this, &CloudDownloadViewController::selectAllClicked);
    connect(btn_ClearAll, &QPushButton::clicked, this, &CloudDownloadViewController::clearAllClicked);
    connect(CancelBtn, &QPushButton::clicked, this, &CloudDownloadViewController::cancelClick);
    connect(DoneBtn, &QPushButton::clicked, this, &CloudDownloadViewController::doneBtnClicked);
    connect(pathControl, &CloudPathControl::itemClicked, this, &CloudDownloadViewController::clickPath);
    connect(dataTableView, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        dataTableView->setCurrentCell(row, 0);
        tableViewDoubleClick();
    });
    connect(dataTableView->verticalScrollBar(), &QScrollBar::valueChanged, this, &CloudDownloadViewController::populateVisibleRows);

    data.clear();
    cloudLoadingIndicator->show();
    DoneBtn->setText(tr("Done"));
    updateSelectedCountLabel(false);
}

CloudDownloadViewController::~CloudDownloadViewController() = default;

void CloudDownloadViewController::setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive)
{
    lister_.setClients(dropbox, google, onedrive);
}

CloudDownloadViewController::Shown CloudDownloadViewController::shown() const
{
    Shown s;
    s.back = !folderBackBtn->isHidden();
    s.path = pathControl->pathItems();
    s.selectedCount = selectedItemsCountLable->text();
    s.selectAllEnabled = btn_SelectAll->isEnabled();
    s.clearAllEnabled = btn_ClearAll->isEnabled();
    s.doneEnabled = DoneBtn->isEnabled();
    s.listingProblem = listingProblemLabel->isVisibleTo(this) ? listingProblemLabel->text() : QString();
    return s;
}

int CloudDownloadViewController::folderUpdatingCounter() const
{
    return expansion_ ? expansion_->folderUpdatingCounter() : 0;
}

bool CloudDownloadViewController::isExpanding() const
{
    return (expansion_ && expansion_->isRunning()) || awaitingWarning_;
}

bool CloudDownloadViewController::isLoading() const
{
    return loading_;
}

void CloudDownloadViewController::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (appeared_) {
        populateVisibleRows();
        return;
    }
    appeared_ = true;
    setWindowTitle(QString());
    heading_->setText(serviceName(service()));
    updateSelectedCountLabel(false);
    updateControls();
    if (service() != CloudLoginService::none)
        browse(QString(), QString(), QString(), true);
    else
        cloudLoadingIndicator->hide();
}

bool CloudDownloadViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dataTableView->viewport() && event->type() == QEvent::Resize)
        populateVisibleRows();
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- browsing

void CloudDownloadViewController::listDropboxFolder(const QString& path)
{
    qCDebug(lcCloudPicker).noquote() << path;
    browse(path, QString(), QString(), path.isEmpty());
}

void CloudDownloadViewController::listGoogleDriveFolder(const QString& route, const QString& id)
{
    browse(QString(), id, route, route.isEmpty());
}

void CloudDownloadViewController::listOneDriveFolder(const QString& id)
{
    browse(QString(), id, QString(), id.isEmpty());
}

void CloudDownloadViewController::browse(const QString& path, const QString& id, const QString& route, bool root)
{
    const quint64 seq = ++browseSeq_;
    loading_ = true;
    cloudLoadingIndicator->show();
    listingProblemLabel->hide();
    QPointer<CloudDownloadViewController> self(this);
    lister_.list(service(), path, id, route, [self, seq, root](const QList<CloudItemPtr>& items, bool ok) {
        // An answer to an earlier click must not replace the folder the user went to since.
        if (!self || seq != self->browseSeq_)
            return;
        self->showListing(items, ok, root);
    });
}

void CloudDownloadViewController::showListing(const QList<CloudItemPtr>& items, bool complete, bool root)
{
    loading_ = false;
    data.clear();
    for (const CloudItemPtr& item : items)
        if (item)
            data.append(item);
    folderBackBtn->setVisible(!root);
    reloadData();
    if (!isExpanding())
        cloudLoadingIndicator->hide();
    listingProblemLabel->setText(tr("This folder could not be listed completely; some of its items may be missing. "
                                    "Open it again to retry."));
    listingProblemLabel->setVisible(!complete);
    updateControls();
    Q_EMIT folderShown();
}

void CloudDownloadViewController::listCurrentFolder()
{
    switch (service()) {
    case CloudLoginService::dropbox:
        listDropboxFolder(currentFolder);
        break;
    case CloudLoginService::googleDrive:
        listGoogleDriveFolder(currentFolder, currentFolderId);
        break;
    case CloudLoginService::onedrive:
        listOneDriveFolder(currentFolderId);
        break;
    case CloudLoginService::none:
        break;
    }
}

QString CloudDownloadViewController::withoutLastComponent(const QString& folder)
{
    QStringList parts = CloudPickPaths::components(folder);
    if (!parts.isEmpty())
        parts.removeLast();
    return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

void CloudDownloadViewController::enterFolder(const QString& folder, const QString& folderId)
{
    currentFolder = folder;
    currentFolderId = folderId;
    if (currentFolder == QLatin1String("/") || currentFolder.isEmpty()) {
        currentFolder.clear();
        currentFolderId.clear();
    }
    pathControl->setPathItems(descendArray);
    data.clear();
    reloadData();
    if (!currentFolder.isEmpty())
        folderBackBtn->show();
    isInSelectedTree = isContainSelectedRoot(currentFolder, cloudFileSelectedList, service());
    updateControls();
    listCurrentFolder();
}

void CloudDownloadViewController::tableViewDoubleClick()
{
    if (isExpanding() || service() == CloudLoginService::none)
        return;
    const int row = dataTableView->currentRow();
    if (row < 0 || row >= data.size())
        return;
    const CloudItemPtr item = data[row];
    if (!item->isFolder())
        return;
    if (descendArray.isEmpty())
        descendArray.append(CloudPathItem(QStringLiteral("root"), QString()));
    switch (service()) {
    case CloudLoginService::onedrive:
        descendArray.append(CloudPathItem(item->name, item->id));
        enterFolder(currentFolder + QLatin1Char('/') + item->name, item->id);
        break;
    case CloudLoginService::googleDrive:
        descendArray.append(CloudPathItem(item->name, item->id));
        enterFolder(item->googleRoute, item->id);
        break;
    case CloudLoginService::dropbox:
        descendArray.append(CloudPathItem(item->name, currentFolderId));
        enterFolder(item->path, currentFolderId);
        break;
    case CloudLoginService::none:
        break;
    }
}

void CloudDownloadViewController::folderBackBtnClicked()
{
    if (descendArray.isEmpty() || isExpanding())
        return;
    descendArray.removeLast();
    if (descendArray.size() <= 1)
        descendArray.clear();
    const QString folder = withoutLastComponent(currentFolder);
    qCDebug(lcCloudPicker).noquote() << "currentFolder:" << folder;
    enterFolder(folder, descendArray.isEmpty() ? QString() : descendArray.last().pathID);
}

void CloudDownloadViewController::clickPath(int index)
{
    if (index < 0 || index >= descendArray.size() || isExpanding())
        return;
    QString folder = currentFolder;
    while (descendArray.size() > index + 1) {
        descendArray.removeLast();
        folder = withoutLastComponent(folder);
        qCDebug(lcCloudPicker).noquote() << "currentFolder:" << folder;
    }
    if (descendArray.size() <= 1)
        descendArray.clear();
    enterFolder(folder, descendArray.isEmpty() ? QString() : descendArray.last().pathID);
}

// ---------------------------------------------------------------- rows

void CloudDownloadViewController::reloadData()
{
    // Dropping the rows drops their row views; the new rows get new ones.
    dataTableView->setRowCount(0);
    dataTableView->setRowCount(int(data.size()));
    populateVisibleRows();
}

void CloudDownloadViewController::populateVisibleRows()
{
    // Row views are made for the rows in sight only: a folder may hold thousands of entries.
    if (!dataTableView->isVisible() || data.isEmpty())
        return;
    int first = dataTableView->rowAt(0);
    int last = dataTableView->rowAt(dataTableView->viewport()->height() - 1);
    if (first < 0)
        first = 0;
    if (last < 0)
        last = int(data.size()) - 1;
    for (int row = first; row <= last && row < data.size(); ++row)
        cellAt(row);
}

CloudItemTableCell* CloudDownloadViewController::cellAt(int row)
{
    if (row < 0 || row >= data.size() || row >= dataTableView->rowCount())
        return nullptr;
    if (auto* cell = qobject_cast<CloudItemTableCell*>(dataTableView->cellWidget(row, 0)))
        return cell;
    CloudItemTableCell* cell = viewForRow(row);
    // The row view covers its table cell: it passes the clicks on.
    connect(cell, &CloudItemTableCell::pressed, this, [this, row] { dataTableView->setCurrentCell(row, 0); });
    connect(cell, &CloudItemTableCell::doubleClicked, this, [this, row] {
        dataTableView->setCurrentCell(row, 0);
        tableViewDoubleClick();
    });
    dataTableView->setCellWidget(row, 0, cell);
    return cell;
}

CloudItemTableCell* CloudDownloadViewController::viewForRow(int row)
{
    if (row < 0 || row >= data.size())
        return nullptr;
    const CloudItemClass& item = *data[row];
    auto* cell = new CloudItemTableCell;
    cell->setObjectName(QStringLiteral("NameCellID"));
    const bool picked = indexOfCloudItem(item.id, item.path, cloudFileSelectedList).has_value();
    cell->cloudItemCheckbox->setChecked(isInSelectedTree || picked);
    cell->cloudItemCheckbox->setEnabled(!isInSelectedTree);
    cell->cloudItemCheckbox->setVisible(true);
    if (item.isFolder()) {
        cell->showFolderImage();
        cell->cloudItemSizeLabel->setText(QString());
    } else {
        cell->cloudItemSizeLabel->setText(UtilityFunctions::formatSize(qint64(std::min<quint64>(item.size, quint64(INT64_MAX)))));
        cell->showFileImage(item.name.contains(QLatin1Char('.')) ? QFileInfo(item.name).suffix() : QString());
    }
    cell->id = item.id;
    cell->path = item.path;
    cell->cloudItemNameLabel->setText(item.name);
    cell->cloudItemNameLabel->setToolTip(item.name);
    cell->cloudItemDateLabel->setText(item.date);
    cell->cloudDelegete = this;
    return cell;
}

void CloudDownloadViewController::updateControls()
{
    const bool walking = isExpanding();
    const bool editable = !walking && !isInSelectedTree;
    for (customizeButton* b : {btn_SelectAll, btn_ClearAll}) {
        b->setEnabled(editable);
        // The shared button has no disabled look of its own.
        auto* fade = qobject_cast<QGraphicsOpacityEffect*>(b->graphicsEffect());
        if (!fade) {
            fade = new QGraphicsOpacityEffect(b);
            b->setGraphicsEffect(fade);
        }
        fade->setOpacity(editable ? 1.0 : 0.4);
    }
    dataTableView->setEnabled(!walking);
    folderBackBtn->setEnabled(!walking);
    pathControl->setEnabled(!walking);
    if (!DoneBtn->isLoading())
        DoneBtn->setEnabled(!walking);
}

// ---------------------------------------------------------------- selection

std::optional<int> CloudDownloadViewController::indexOfCloudItem(const QString& id, const QString& path,
                                                                 const QList<CloudItemPtr>& list)
{
    // An id names one entry; a path may be shared (two Google Drive files of one name).
    if (!id.isEmpty()) {
        for (int i = 0; i < list.size(); ++i)
            if (list[i]->id == id)
                return i;
        return std::nullopt;
    }
    if (path.isEmpty())
        return std::nullopt;
    for (int i = 0; i < list.size(); ++i)
        if (list[i]->id.isEmpty() && list[i]->path.compare(path, Qt::CaseInsensitive) == 0)
            return i;
    return std::nullopt;
}

bool CloudDownloadViewController::isContainSelectedRoot(const QString& path, const QList<CloudItemPtr>& list,
                                                        CloudLoginService service)
{
    for (const CloudItemPtr& item : list) {
        if (item->isFolder() && CloudPickPaths::isSameOrInside(path, CloudPickPaths::locationOf(*item, service), service)) {
            qCDebug(lcCloudPicker) << "isContainSelectedRoot true";
            return true;
        }
    }
    qCDebug(lcCloudPicker) << "isContainSelectedRoot false";
    return false;
}

void CloudDownloadViewController::updateSelectedCountLabel(bool zero)
{
    int files = 0;
    int folders = 0;
    if (!zero) {
        for (const CloudItemPtr& item : std::as_const(cloudFileSelectedList))
            (item->isFolder() ? folders : files) += 1;
    }
    selectedItemsCountLable->setText(tr("%1 files, %2 folders selected.").arg(files).arg(folders));
}

void CloudDownloadViewController::cloudItemCheckChanged(int state, const QString& id, const QString& path)
{
    qCDebug(lcCloudPicker).noquote() << "task:" << state << id << path;
    if (isExpanding() || isInSelectedTree)
        return;
    if (state == 0) {
        if (const std::optional<int> at = indexOfCloudItem(id, path, cloudFileSelectedList))
            cloudFileSelectedList.removeAt(*at);
    } else if (state == 1) {
        if (indexOfCloudItem(id, path, cloudFileSelectedList))
            return;
        if (const std::optional<int> row = indexOfCloudItem(id, path, data)) {
            const CloudItemPtr picked = data[*row];
            if (picked->isFolder()) {
                // The folder stands for everything in it: earlier picks inside it go.
                const QString folder = CloudPickPaths::locationOf(*picked, service());
                cloudFileSelectedList.removeIf([&](const CloudItemPtr& s) {
                    return CloudPickPaths::isInside(CloudPickPaths::locationOf(*s, service()), folder, service());
                });
            }
            cloudFileSelectedList.append(picked);
        }
    }
    updateSelectedCountLabel(false);
}

void CloudDownloadViewController::selectAllClicked()
{
    if (isExpanding() || isInSelectedTree)
        return;
    for (const CloudItemPtr& row : std::as_const(data))
        if (!indexOfCloudItem(row->id, row->path, cloudFileSelectedList))
            cloudFileSelectedList.append(row);
    updateSelectedCountLabel(false);
    reloadData();
}

void CloudDownloadViewController::clearAllClicked()
{
    if (isExpanding() || isInSelectedTree)
        return;
    for (const CloudItemPtr& row : std::as_const(data))
        if (const std::optional<int> at = indexOfCloudItem(row->id, row->path, cloudFileSelectedList))
            cloudFileSelectedList.removeAt(*at);
    // Picks of other folders stay, and so the line says what is still picked.
    updateSelectedCountLabel(false);
    reloadData();
}

// ---------------------------------------------------------------- Done and Cancel

void CloudDownloadViewController::cancelClick()
{
    reject();
}

void CloudDownloadViewController::reject()
{
    if (expansion_)
        expansion_->cancel();
    awaitingWarning_ = false;
    ++browseSeq_;
    QDialog::reject();
}

void CloudDownloadViewController::setExpanding(bool on)
{
    DoneBtn->setLoading(on);
    if (on)
        cloudLoadingIndicator->show();
    else if (!loading_)
        cloudLoadingIndicator->hide();
    updateControls();
}

void CloudDownloadViewController::doneBtnClicked()
{
    // A second Done while the walk runs would count and collect everything twice.
    if (isExpanding())
        return;
    cloudFileSubList.clear();
    // A new walk for every Done, as the delays may have changed.
    delete expansion_;
    expansion_ = new CloudFolderExpansion(service(), lister_, expansionDelays_, this);
    connect(expansion_, &CloudFolderExpansion::finished, this, &CloudDownloadViewController::expansionFinished);
    expansion_->start(cloudFileSelectedList);
    setExpanding(true);
}

void CloudDownloadViewController::expansionFinished(const CloudFolderExpansion::Result& result)
{
    pending_ = result;
    cloudFileSubList = result.found;
    if (result.incompleteFolders.isEmpty() || !UtilityFunctions::messagePresenter()) {
        if (!result.incompleteFolders.isEmpty())
            qCWarning(lcCloudPicker) << "folders listed in part:" << result.incompleteFolders;
        finishPicking();
        return;
    }
    awaitingWarning_ = true;
    QStringList shown = result.incompleteFolders.mid(0, 3);
    if (result.incompleteFolders.size() > shown.size())
        shown.append(tr("and %n more", nullptr, int(result.incompleteFolders.size() - shown.size())));
    MessageRequest request;
    request.title = tr("Attention");
    request.imageName = QStringLiteral("ic_log_lable");
    request.message = (result.timedOut ? tr("The cloud service stopped answering while the picked folders were read.")
                                       : tr("Some picked folders could not be read completely from the cloud service."))
        + QLatin1Char(' ') + tr("Files in these folders may be missing from the backup: %1.").arg(shown.join(QStringLiteral(", ")))
        + QLatin1Char('\n') + tr("Continue with the files that were found?");
    request.showSecondBtn = true;
    request.mainButtonTitle = tr("Continue");
    request.secondButtonTitle = tr("Cancel");
    request.closingCancels = true;
    UtilityFunctions::showMessageView(this, request, this);
}

void CloudDownloadViewController::btnClicked(int index)
{
    if (!awaitingWarning_)
        return;
    awaitingWarning_ = false;
    if (index == 0) {
        finishPicking();
        return;
    }
    // Back to picking: Done may be pressed again to read the folders once more.
    setExpanding(false);
}

void CloudDownloadViewController::messageDismissed()
{
    btnClicked(1);
}

void CloudDownloadViewController::finishPicking()
{
    setExpanding(false);
    // The page may close and drop the sheet while it takes the lists.
    QPointer<CloudDownloadViewController> self(this);
    if (downloadDelegate)
        downloadDelegate->receiveCloudSelection(pending_.selected, cloudFileSubList);
    if (!self)
        return;
    Q_EMIT selectionHandedOver();
    accept();
}
