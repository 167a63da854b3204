#include "UpdatePromptDialog.h"

#include "WindowFactory.h"
#include "messageView.h"

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

// A plain notice in the program's own message window; Esc closes it as OK does.
void showNotice(QWidget* parent, const QString& imageName, const QString& message)
{
    messageView* view = WindowFactory::createAs<messageView>(QStringLiteral("MessageView"), parent);
    if (!view)
        return;
    view->titleString = tr("Software Update");
    view->imagePath = imageName;
    view->statusString = message;
    view->closingCancels = true;
    view->present();
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
    showNotice(parent_, QStringLiteral("ic_log_success"),
               tr("Zorvi %1 is the newest version available.").arg(currentVersion));
}

void UpdatePromptDialog::showCheckFailed(const QString& reason)
{
    QString message = tr("Zorvi could not check for updates.");
    if (!reason.isEmpty())
        message += QStringLiteral("\n") + reason;
    showNotice(parent_, QStringLiteral("ic_log_fail"), message);
}
