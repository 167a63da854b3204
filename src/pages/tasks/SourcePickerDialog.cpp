#include "SourcePickerDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

SourcePickerDialog::SourcePickerDialog(QWidget* parent, const QString& startPath)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Choose a source file/folder"));
    setSizeGripEnabled(true);
    resize(640, 440);

    model = new QFileSystemModel(this);
    model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::System);
    model->setReadOnly(true);
    model->setRootPath(QStringLiteral("/"));

    view = new QTreeView(this);
    view->setModel(model);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSortingEnabled(true);
    view->sortByColumn(0, Qt::AscendingOrder);
    view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    view->header()->setStretchLastSection(false);
    const QString start = startPath.isEmpty() ? QDir::homePath() : startPath;
    const QModelIndex startIndex = model->index(start);
    if (startIndex.isValid()) {
        view->expand(startIndex);
        view->scrollTo(startIndex);
        view->setCurrentIndex(startIndex);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    openButton = buttons->button(QDialogButtonBox::Open);
    connect(buttons, &QDialogButtonBox::accepted, this, &SourcePickerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SourcePickerDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view, 1);
    layout->addWidget(buttons);
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

void SourcePickerDialog::accept()
{
    const QStringList paths = selectedPaths();
    if (paths.isEmpty())
        return; // nothing chosen: stay open
    QDialog::accept();
    Q_EMIT pathsChosen(paths);
}
