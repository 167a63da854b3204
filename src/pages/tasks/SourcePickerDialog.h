#pragma once

#include <QDialog>
#include <QStringList>

class QFileSystemModel;
class QTreeView;
class QPushButton;

// Picks several files and folders at once (the platform's file dialog picks either files
// or folders, never both). Hidden files are not listed; "/" itself can be chosen, and the
// caller refuses it.
class SourcePickerDialog : public QDialog {
    Q_OBJECT
public:
    explicit SourcePickerDialog(QWidget* parent = nullptr, const QString& startPath = QString());

    QFileSystemModel* model = nullptr;
    QTreeView* view = nullptr;
    QPushButton* openButton = nullptr;

    // The chosen paths, sorted.
    QStringList selectedPaths() const;
    // Selects these paths (they must exist), replacing the selection.
    void selectPaths(const QStringList& paths);

Q_SIGNALS:
    void pathsChosen(const QStringList& paths);

public Q_SLOTS:
    void accept() override;
};
