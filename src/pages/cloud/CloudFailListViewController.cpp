#include "CloudFailListViewController.h"

#include "CloudFailListDelegate.h"
#include "CloudRunLog.h"
#include "ControlStyle.h"
#include "UtilityFunctions.h"
#include "customizeButton.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

CloudFailListViewController::CloudFailListViewController(QWidget* parent)
    : QDialog(parent, ControlStyle::dialogFlags(true))
    , titleArray{QString(), tr("Download Path"), tr("Date"), tr("Download Size"), tr("Remarks")}
{
    setObjectName(QStringLiteral("CloudFailListViewController"));
    setAttribute(Qt::WA_DeleteOnClose);

    outlineView = new QTreeWidget(this);
    outlineView->setObjectName(QStringLiteral("outlineView"));
    outlineView->setColumnCount(int(titleArray.size()));
    outlineView->setRootIsDecorated(false);
    outlineView->setItemsExpandable(false);
    outlineView->setSelectionMode(QAbstractItemView::NoSelection);
    outlineView->setFocusPolicy(Qt::NoFocus);
    outlineView->setUniformRowHeights(true);
    outlineView->setTextElideMode(Qt::ElideMiddle);
    outlineView->setFont(ControlStyle::font(13));
    outlineView->setStyleSheet(QStringLiteral("QTreeView::item { height: 26px; }"));
    outlineView->header()->setStretchLastSection(true);
    outlineView->header()->setSectionsMovable(false);
    outlineView->setColumnWidth(0, 36);
    outlineView->setColumnWidth(1, 270);
    outlineView->setColumnWidth(2, 150);
    outlineView->setColumnWidth(3, 100);

    selectAllBtn = new customizeButton(tr("Select All"), this);
    deSelectAllBtn = new customizeButton(tr("Deselect All"), this);
    downloadBtn = new customizeButton(tr("Download"), this);
    for (customizeButton* b : {selectAllBtn, deSelectAllBtn, downloadBtn})
        b->setFixedSize(120, 32);
    selectAllBtn->setObjectName(QStringLiteral("selectAllBtn"));
    deSelectAllBtn->setObjectName(QStringLiteral("deSelectAllBtn"));
    downloadBtn->setObjectName(QStringLiteral("downloadBtn"));
    // Nothing to fetch until a row is ticked.
    downloadBtn->setEnabled(false);
    connect(selectAllBtn, &QPushButton::clicked, this, &CloudFailListViewController::selectAllItems);
    connect(deSelectAllBtn, &QPushButton::clicked, this, &CloudFailListViewController::deSelectAllItems);
    connect(downloadBtn, &QPushButton::clicked, this, &CloudFailListViewController::doReDownload);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(selectAllBtn);
    buttons->addWidget(deSelectAllBtn);
    buttons->addStretch();
    buttons->addWidget(downloadBtn);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(20, 20, 20, 16);
    root->setSpacing(14);
    root->addWidget(outlineView, 1);
    root->addLayout(buttons);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, ControlStyle::dialogBackground());
    setPalette(pal);
    setAutoFillBackground(true);
    resize(760, 420);
}

void CloudFailListViewController::present()
{
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    open();
    raise();
    activateWindow();
}

void CloudFailListViewController::showEvent(QShowEvent* event)
{
    if (!loaded_) {
        loaded_ = true;
        setWindowTitle(tr("Download failed list"));
        outlineView->setHeaderLabels(titleArray);
        reloadData();
    }
    QDialog::showEvent(event);
}

void CloudFailListViewController::reloadData()
{
    outlineView->clear();
    for (int row = 0; row < dataArray.size(); ++row) {
        const CloudItemPtr& entry = dataArray.at(row);
        auto* item = new QTreeWidgetItem(outlineView);
        item->setFlags(Qt::ItemIsEnabled);
        const QString path = service == CloudLoginService::googleDrive ? entry->googleRoute : entry->path;
        item->setText(1, path);
        item->setToolTip(1, path);
        item->setText(2, entry->date);
        item->setText(3, UtilityFunctions::formatSize(qint64(entry->size)));
        item->setText(4, entry->downloadFailIssue);
        item->setToolTip(4, entry->downloadFailIssue);

        auto* box = new QCheckBox(outlineView);
        box->setProperty("tag", row);
        box->setChecked(selectRowArray.contains(row));
        box->setStyleSheet(QStringLiteral("QCheckBox { margin-left: 10px; }"));
        connect(box, &QAbstractButton::clicked, this, [this, box] { checkBoxWithSender(box); });
        outlineView->setItemWidget(item, 0, box);
    }
}

CloudFailListViewController::Shown CloudFailListViewController::shown() const
{
    Shown s;
    for (int row = 0; row < outlineView->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = outlineView->topLevelItem(row);
        s.rows << QStringList { item->text(1), item->text(2), item->text(3), item->text(4) };
    }
    s.downloadEnabled = downloadBtn->isEnabled();
    return s;
}

QCheckBox* CloudFailListViewController::checkBoxOfRow(int row) const
{
    QTreeWidgetItem* item = outlineView->topLevelItem(row);
    return item ? qobject_cast<QCheckBox*>(outlineView->itemWidget(item, 0)) : nullptr;
}

void CloudFailListViewController::checkBoxWithSender(QAbstractButton* sender)
{
    if (!sender)
        return;
    const qint64 tag = sender->property("tag").toLongLong();
    if (selectRowArray.contains(tag))
        selectRowArray.removeOne(tag);
    else
        selectRowArray.append(tag);
    sender->setChecked(selectRowArray.contains(tag));
    downloadBtn->setEnabled(!selectRowArray.isEmpty());
    QStringList rows;
    for (qint64 r : std::as_const(selectRowArray))
        rows << QString::number(r);
    qCDebug(lcCloudRun).noquote() << "[" + rows.join(QStringLiteral(", ")) + "]";
}

void CloudFailListViewController::selectAllItems()
{
    selectRowArray.clear();
    for (qint64 row = 0; row < dataArray.size(); ++row)
        selectRowArray.append(row);
    downloadBtn->setEnabled(!dataArray.isEmpty());
    reloadData();
}

void CloudFailListViewController::deSelectAllItems()
{
    selectRowArray.clear();
    downloadBtn->setEnabled(false);
    reloadData();
}

void CloudFailListViewController::doReDownload()
{
    QList<CloudItemPtr> items;
    for (qint64 row : std::as_const(selectRowArray))
        if (row >= 0 && row < dataArray.size())
            items.append(dataArray.at(row));
    if (items.isEmpty())
        return;
    if (delegate) {
        delegate->resetProgressView();
        delegate->doCloudDownload(items, delegate->doDownloadUrl(),
                                  delegate->currentService().value_or(CloudLoginService::none));
    }
    close();
}
