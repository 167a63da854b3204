#pragma once

#include "UserNotifier.h"

#include <QDBusConnection>
#include <QObject>

// Notifications through the desktop's notification service (org.freedesktop.Notifications).
// When there is no session bus or the service does not answer, the notification goes to the
// fallback (the tray) instead; once the service has been found missing, later ones go
// there directly.
class DesktopNotifier : public QObject, public UserNotifier {
    Q_OBJECT
public:
    static constexpr const char* Service = "org.freedesktop.Notifications";
    static constexpr const char* Path = "/org/freedesktop/Notifications";
    static constexpr const char* AppName = "Zorvi";

    // `fallback` may be null: such notifications are only logged.
    explicit DesktopNotifier(UserNotifier* fallback, const QDBusConnection& bus = QDBusConnection::sessionBus(),
                             QObject* parent = nullptr);

    void post(const QString& title, const QString& body) override;

    // Milliseconds a notification stays; -1 (default) leaves it to the desktop.
    void setExpireTimeout(int ms) { expireTimeout_ = ms; }
    // True once the service was missing; a new session bus is needed to try it again.
    bool usesFallback() const { return !bus_.isConnected() || serviceMissing_; }

Q_SIGNALS:
    void delivered(uint id);
    void fellBack(const QString& title, const QString& body);

private:
    void fallBack(const QString& title, const QString& body);

    UserNotifier* fallback_;
    QDBusConnection bus_;
    int expireTimeout_ = -1;
    bool serviceMissing_ = false;
};
