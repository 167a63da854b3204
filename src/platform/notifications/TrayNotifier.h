#pragma once

#include "UserNotifier.h"

#include <QPointer>
#include <QSystemTrayIcon>

// Notifications as balloon messages of the application's tray icon. Without a visible tray
// icon the message is logged, so it is not lost without a trace.
class TrayNotifier : public UserNotifier {
public:
    explicit TrayNotifier(QSystemTrayIcon* tray = nullptr) : tray_(tray) {}

    void setTrayIcon(QSystemTrayIcon* tray) { tray_ = tray; }
    void post(const QString& title, const QString& body) override;

private:
    QPointer<QSystemTrayIcon> tray_;
};
