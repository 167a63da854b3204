#include "FolderChooser.h"

#include "ExternalVolumes.h"
#include "FileChooserFit.h"

#include <QDir>
#include <QFileDialog>
#include <QUrl>

QStringList FolderChooser::placePaths()
{
    QStringList paths { QDir::homePath(), QStringLiteral("/") };
    for (const QString& root : ExternalVolumes::mountedRoots())
        if (!paths.contains(root))
            paths.append(root);
    return paths;
}

QFileDialog* FolderChooser::destinationDialog(QWidget* parent, const QString& title)
{
    auto* dialog = new QFileDialog(parent, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setDirectory(QDir::homePath());
    QList<QUrl> places;
    for (const QString& path : placePaths())
        places.append(QUrl::fromLocalFile(path));
    dialog->setSidebarUrls(places);
    FileChooserFit::fitFileDialog(dialog);
    return dialog;
}
