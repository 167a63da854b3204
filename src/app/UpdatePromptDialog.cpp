#include "UpdatePromptDialog.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("UpdatePromptDialog", text);
}

QMessageBox* makeBox(QWidget* parent, QMessageBox::Icon icon, const QString& text)
{
    auto* box = new QMessageBox(icon, tr("Software Update"), text, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}
} // namespace

UpdatePromptDialog::UpdatePromptDialog(QWidget* parent)
    : parent_(parent)
{
}

void UpdatePromptDialog::showUpdateFound(const AppcastItem& item, const QString& currentVersion,
                                         std::function<void(Choice)> reply)
{
    QMessageBox* box = makeBox(parent_, QMessageBox::Information,
                               tr("Zorvi %1 is available. You have version %2.\n"
                                  "Open the download page now?")
                                   .arg(item.displayVersion(), currentVersion));
    if (!item.releaseNotes.isEmpty())
        box->setDetailedText(item.releaseNotes);
    QPushButton* download = box->addButton(tr("Download"), QMessageBox::AcceptRole);
    QPushButton* skip = box->addButton(tr("Skip This Version"), QMessageBox::DestructiveRole);
    QPushButton* later = box->addButton(tr("Later"), QMessageBox::RejectRole);
    box->setDefaultButton(download);
    box->setEscapeButton(later);
    QObject::connect(box, &QMessageBox::finished, box, [box, download, skip, reply] {
        QAbstractButton* clicked = box->clickedButton();
        const Choice choice = clicked == download ? Choice::Download
            : clicked == skip                     ? Choice::SkipThisVersion
                                                  : Choice::Later;
        if (reply)
            reply(choice);
    });
    box->open();
}

void UpdatePromptDialog::showUpToDate(const QString& currentVersion)
{
    QMessageBox* box = makeBox(parent_, QMessageBox::Information,
                               tr("Zorvi %1 is the newest version available.").arg(currentVersion));
    box->addButton(QMessageBox::Ok);
    box->open();
}

void UpdatePromptDialog::showCheckFailed(const QString& reason)
{
    QMessageBox* box = makeBox(parent_, QMessageBox::Warning, tr("Zorvi could not check for updates."));
    box->setInformativeText(reason);
    box->addButton(QMessageBox::Ok);
    box->open();
}
