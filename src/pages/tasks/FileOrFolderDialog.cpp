#include "FileOrFolderDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

FileOrFolderDialog::FileOrFolderDialog(QWidget* parent, const QString& caption)
    : QFileDialog(parent, caption)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setOption(QFileDialog::ReadOnly); // no folder creation
    setFilter(QDir::AllEntries | QDir::NoDotAndDotDot);
    setNameFilter(tr("Files and folders (*)"));
    setLabelText(QFileDialog::Accept, tr("Choose"));
    setLabelText(QFileDialog::FileName, tr("File or folder:"));
    setLabelText(QFileDialog::FileType, tr("Show:"));
    setSizeGripEnabled(true);

    // The widget dialog calls a selected folder's button "Open"; here it chooses the folder.
    auto relabel = [this] {
        QTimer::singleShot(0, this, [this] {
            if (auto* box = findChild<QDialogButtonBox*>())
                if (QPushButton* button = box->button(QDialogButtonBox::Open))
                    button->setText(tr("Choose"));
        });
    };
    connect(this, &QFileDialog::currentChanged, this, relabel);
    if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(edit, &QLineEdit::textChanged, this, relabel);
    relabel();
}

void FileOrFolderDialog::accept()
{
    const QStringList files = selectedFiles();
    if (files.size() == 1 && QFileInfo::exists(files.first())) {
        chosen_ = files.first();
        QDialog::accept();
        Q_EMIT itemChosen(chosen_);
        return;
    }
    QFileDialog::accept();
}
