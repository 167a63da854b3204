#include "TrayNotifier.h"

#include "NotificationLog.h"

void TrayNotifier::post(const QString& title, const QString& body)
{
    if (tray_ && tray_->isVisible() && QSystemTrayIcon::supportsMessages()) {
        tray_->showMessage(title, body, QSystemTrayIcon::Information);
        return;
    }
    qCInfo(lcNotifications).noquote() << title << "-" << body;
}
