#pragma once

#include <QDialog>
#include <QStringList>

class ElidedLabel;
class QFileSystemModel;
class QListWidget;
class QPushButton;
class QToolButton;
class QTreeView;

// Picks several files and folders at once (the platform's file dialog picks either files
// or folders, never both). Opens on the start folder (the home folder unless given) with
// nothing chosen; Open stays disabled until something is. A sidebar of places reaches the
// home folder, the whole file system and the mounted removable volumes. Hidden files are not
// listed; "/" itself can be chosen, and the caller refuses it.
class SourcePickerDialog : public QDialog {
    Q_OBJECT
public:
    explicit SourcePickerDialog(QWidget* parent = nullptr, const QString& startPath = QString());

    QFileSystemModel* model = nullptr;

    // The folder whose contents the list shows.
    QString currentFolder() const { return folder_; }
    // Shows this folder's contents, choosing nothing.
    void setCurrentFolder(const QString& path);
    // The chosen paths, sorted.
    QStringList selectedPaths() const;
    // Selects these paths (they must exist), replacing the selection.
    void selectPaths(const QStringList& paths);

Q_SIGNALS:
    void pathsChosen(const QStringList& paths);

public Q_SLOTS:
    void accept() override;

private:
    QTreeView* view = nullptr;
    QListWidget* places = nullptr; // each item's UserRole holds its folder
    QToolButton* upButton = nullptr;
    ElidedLabel* locationLabel = nullptr;
    QPushButton* openButton = nullptr;

    void updateOpenButton();

    QString folder_;
};
