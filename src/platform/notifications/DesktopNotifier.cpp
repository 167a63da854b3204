#include "DesktopNotifier.h"

#include "NotificationLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

DesktopNotifier::DesktopNotifier(UserNotifier* fallback, const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , fallback_(fallback)
    , bus_(bus)
{
}

void DesktopNotifier::post(const QString& title, const QString& body)
{
    if (usesFallback())
        return fallBack(title, body);

    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(Service), QString::fromLatin1(Path),
                                                       QString::fromLatin1(Service), QStringLiteral("Notify"));
    // The desktop's default sound for a new message goes with it.
    const QVariantMap hints { { QStringLiteral("sound-name"), QStringLiteral("message-new-instant") } };
    call << QString::fromLatin1(AppName) << uint(0) << QString() << title << body << QStringList() << hints
         << expireTimeout_;

    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, body](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            qCWarning(lcNotifications).noquote() << "The notification service did not take the notification:"
                                                 << reply.error().message();
            const QDBusError::ErrorType type = reply.error().type();
            if (type == QDBusError::ServiceUnknown || type == QDBusError::UnknownObject
                || type == QDBusError::UnknownMethod || type == QDBusError::UnknownInterface)
                serviceMissing_ = true;
            fallBack(title, body);
            return;
        }
        Q_EMIT delivered(reply.value());
    });
}

void DesktopNotifier::fallBack(const QString& title, const QString& body)
{
    if (fallback_)
        fallback_->post(title, body);
    else
        qCInfo(lcNotifications).noquote() << title << "-" << body;
    Q_EMIT fellBack(title, body);
}
