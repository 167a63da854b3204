#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

// Stands in for the desktop's notification service on a private bus.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = 0;
    };
    QList<Call> calls;

public Q_SLOTS:
    Q_SCRIPTABLE uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                             const QString& body, const QStringList& actions, const QVariantMap& hints,
                             int expireTimeout)
    {
        calls.append({ appName, replacesId, icon, summary, body, actions, hints, expireTimeout });
        return uint(calls.size());
    }
};
