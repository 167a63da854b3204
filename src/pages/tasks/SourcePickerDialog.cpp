#include "SourcePickerDialog.h"

#include "ControlNames.h"
#include "ElidedLabel.h"
#include "FolderChooser.h"
#include "FileChooserFit.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

SourcePickerDialog::SourcePickerDialog(QWidget* parent, const QString& startPath)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Choose a source file/folder"));
    setSizeGripEnabled(true);

    places = new QListWidget(this);
    places->setIconSize(QSize(20, 20));
    const QStringList placeList = FolderChooser::placePaths();
    for (const QString& path : placeList) {
        QString name;
        QStyle::StandardPixmap icon = QStyle::SP_DriveHDIcon;
        if (path == QDir::homePath()) {
            name = tr("Home");
            icon = QStyle::SP_DirHomeIcon;
        } else if (path == QLatin1String("/")) {
            name = tr("Computer");
            icon = QStyle::SP_ComputerIcon;
        } else {
            name = QFileInfo(path).fileName();
        }
        auto* item = new QListWidgetItem(style()->standardIcon(icon), name, places);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    }
    // Wide enough for the longest drive name (within reason; the tooltip has the rest).
    places->setFixedWidth(std::clamp(FileChooserFit::placesWidth(places), 170, 300));
    connect(places, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { setCurrentFolder(item->data(Qt::UserRole).toString()); });

    upButton = new QToolButton(this);
    upButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    upButton->setToolTip(tr("Enclosing folder"));
    connect(upButton, &QToolButton::clicked, this, [this] {
        QDir dir(folder_);
        if (dir.cdUp())
            setCurrentFolder(dir.absolutePath());
    });
    locationLabel = new ElidedLabel(QString(), this);

    model = new QFileSystemModel(this);
    model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::System);
    model->setReadOnly(true);

    view = new QTreeView(this);
    view->setModel(model);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSortingEnabled(true);
    view->sortByColumn(0, Qt::AscendingOrder);
    FileChooserFit::fitColumns(view);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SourcePickerDialog::updateOpenButton);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    openButton = buttons->button(QDialogButtonBox::Open);
    connect(buttons, &QDialogButtonBox::accepted, this, &SourcePickerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SourcePickerDialog::reject);

    auto* location = new QHBoxLayout;
    location->addWidget(upButton);
    location->addWidget(locationLabel, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(location);
    right->addWidget(view, 1);
    auto* body = new QHBoxLayout;
    body->addWidget(places);
    body->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(buttons);

    FileChooserFit::growToChooserSize(this);

    const QString start = startPath.isEmpty() ? QDir::homePath() : startPath;
    setCurrentFolder(QFileInfo(start).isDir() ? start : QDir::homePath());

    ControlNames::apply({
        { view, "view" },
        { places, "places" },
        { upButton, "upButton" },
        { locationLabel, "locationLabel" },
        { openButton, "openButton" }
    });
}

void SourcePickerDialog::setCurrentFolder(const QString& path)
{
    folder_ = QDir::cleanPath(path);
    view->selectionModel()->clear();
    model->setRootPath(folder_);
    view->setRootIndex(model->index(folder_));
    view->scrollToTop();
    locationLabel->setText(folder_);
    locationLabel->setToolTip(folder_);
    upButton->setEnabled(folder_ != QLatin1String("/"));
    for (int i = 0; i < places->count(); ++i) {
        QListWidgetItem* item = places->item(i);
        item->setSelected(item->data(Qt::UserRole).toString() == folder_);
    }
    updateOpenButton();
}

QStringList SourcePickerDialog::selectedPaths() const
{
    QModelIndexList rows = view->selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end(), [this](const QModelIndex& a, const QModelIndex& b) {
        return model->filePath(a) < model->filePath(b);
    });
    QStringList paths;
    for (const QModelIndex& index : rows)
        paths.append(model->filePath(index));
    return paths;
}

void SourcePickerDialog::selectPaths(const QStringList& paths)
{
    view->selectionModel()->clearSelection();
    for (const QString& path : paths) {
        const QModelIndex index = model->index(path);
        if (index.isValid())
            view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void SourcePickerDialog::updateOpenButton()
{
    openButton->setEnabled(view->selectionModel()->hasSelection());
}

void SourcePickerDialog::accept()
{
    const QStringList paths = selectedPaths();
    if (paths.isEmpty())
        return; // nothing chosen: stay open
    QDialog::accept();
    Q_EMIT pathsChosen(paths);
}
