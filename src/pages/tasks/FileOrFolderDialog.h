#pragma once

#include <QFileDialog>

// A chooser that takes one existing file or one folder: a folder opens on double-click and is
// chosen with the Choose button.
class FileOrFolderDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit FileOrFolderDialog(QWidget* parent, const QString& caption);

    QString chosenPath() const { return chosen_; }

public Q_SLOTS:
    void accept() override;

Q_SIGNALS:
    void itemChosen(const QString& path);

private:
    QString chosen_;
};
