#include "SecurityViewController.h"

#include "ControlStyle.h"
#include "DecryptDelegate.h"
#include "EncryptDelegate.h"
#include "FileChooserFit.h"
#include "FileOrFolderDialog.h"
#include "GoogleReporter.h"
#include "SecurityBoxButton.h"
#include "decPasswordView.h"
#include "encPasswordView.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QVBoxLayout>

SecurityViewController::SecurityViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SecurityViewController"));
    setMinimumSize(744, 540);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(17, 0, 17, 0);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    encryptBtn = new SecurityBoxButton(QStringLiteral("encryptBtn"), this);
    decryptBtn = new SecurityBoxButton(QStringLiteral("decryptBtn"), this);
    row->addStretch(1);
    row->addWidget(encryptBtn);
    row->addWidget(decryptBtn);
    row->addStretch(1);
    layout->addStretch(1);
    layout->addLayout(row);
    layout->addStretch(1);

    connect(encryptBtn, &QPushButton::clicked, this, &SecurityViewController::EncryptClick);
    connect(decryptBtn, &QPushButton::clicked, this, &SecurityViewController::DecryptClick);
}

void SecurityViewController::embed(QObject* mainWindow)
{
    encryptDelegate_ = dynamic_cast<EncryptDelegate*>(mainWindow);
    decryptDelegate_ = dynamic_cast<DecryptDelegate*>(mainWindow);
}

void SecurityViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    GoogleReporter::shared().screenView(QStringLiteral("Security View"));
}

void SecurityViewController::EncryptClick()
{
    auto* panel = new FileOrFolderDialog(this, QStringLiteral("Choose a file or folder"));
    panel->setObjectName(QStringLiteral("encryptPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::ApplicationModal);
    connect(panel, &FileOrFolderDialog::itemChosen, this, [this](const QString& path) {
        if (!path.isEmpty())
            encryptChosen(path);
    });
    FileChooserFit::fitFileDialog(panel);
    panel->open();
}

void SecurityViewController::DecryptClick()
{
    auto* panel = new QFileDialog(this, QStringLiteral("Choose a file"));
    panel->setObjectName(QStringLiteral("decryptPanel"));
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setOption(QFileDialog::ReadOnly);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setNameFilter(tr("Encrypted files (*.enc)"));
    panel->setSizeGripEnabled(true);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::ApplicationModal);
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (!path.isEmpty())
            decryptChosen(path);
    });
    FileChooserFit::fitFileDialog(panel);
    panel->open();
}

encPasswordView* SecurityViewController::encryptChosen(const QString& path)
{
    auto* dialog = new encPasswordView(this);
    dialog->encryptPath = path;
    dialog->passEncInfoDelegate = encryptDelegate_;
    dialog->present();
    GoogleReporter::shared().event(QStringLiteral("File Security"), QStringLiteral("Encrypt"), QString());
    return dialog;
}

decPasswordView* SecurityViewController::decryptChosen(const QString& path)
{
    auto* dialog = new decPasswordView(this);
    dialog->purpose = decPasswordView::Purpose::Decrypt;
    dialog->decryptPath = path;
    dialog->passDecInfoDelegate = decryptDelegate_;
    dialog->present();
    GoogleReporter::shared().event(QStringLiteral("File Security"), QStringLiteral("Decrypt"), QString());
    return dialog;
}
