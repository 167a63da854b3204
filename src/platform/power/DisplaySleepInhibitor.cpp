#include "DisplaySleepInhibitor.h"

#include "PowerLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

DisplaySleepInhibitor::DisplaySleepInhibitor(QObject* parent)
    : DisplaySleepInhibitor(QDBusConnection::sessionBus(), QDBusConnection::systemBus(), parent)
{
}

DisplaySleepInhibitor::DisplaySleepInhibitor(const QDBusConnection& session, const QDBusConnection& system,
                                             QObject* parent)
    : QObject(parent)
    , session_(session)
    , system_(system)
{
}

DisplaySleepInhibitor::~DisplaySleepInhibitor()
{
    release();
}

void DisplaySleepInhibitor::inhibit(const QString& reason)
{
    if (wanted_)
        return;
    wanted_ = true;
    askScreenSaver(reason, ++attempt_);
}

void DisplaySleepInhibitor::release()
{
    if (!wanted_)
        return;
    wanted_ = false;
    ++attempt_;
    if (holder_ == Holder::ScreenSaver) {
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(ScreenSaverService),
                                                           QString::fromLatin1(ScreenSaverPath),
                                                           QString::fromLatin1(ScreenSaverService),
                                                           QStringLiteral("UnInhibit"));
        call << cookie_;
        session_.send(call);
    }
    lock_ = QDBusUnixFileDescriptor(); // closing our descriptor ends logind's inhibitor
    holder_ = Holder::None;
    cookie_ = 0;
    Q_EMIT released();
}

void DisplaySleepInhibitor::askScreenSaver(const QString& reason, quint64 attempt)
{
    if (!session_.isConnected())
        return askLogind(reason, attempt);
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(ScreenSaverService),
                                                       QString::fromLatin1(ScreenSaverPath),
                                                       QString::fromLatin1(ScreenSaverService), QStringLiteral("Inhibit"));
    call << QString::fromLatin1(AppName) << reason;
    auto* watcher = new QDBusPendingCallWatcher(session_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, reason, attempt](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (attempt != attempt_) {
            // Released (or asked again) meanwhile: give the cookie straight back.
            if (!reply.isError()) {
                QDBusMessage undo = QDBusMessage::createMethodCall(QString::fromLatin1(ScreenSaverService),
                                                                   QString::fromLatin1(ScreenSaverPath),
                                                                   QString::fromLatin1(ScreenSaverService),
                                                                   QStringLiteral("UnInhibit"));
                undo << reply.value();
                session_.send(undo);
            }
            return;
        }
        if (reply.isError()) {
            qCDebug(lcPower).noquote() << "The screen saver did not take the inhibitor:" << reply.error().message();
            return askLogind(reason, attempt);
        }
        cookie_ = reply.value();
        settle(Holder::ScreenSaver);
    });
}

void DisplaySleepInhibitor::askLogind(const QString& reason, quint64 attempt)
{
    if (!system_.isConnected()) {
        noteUnavailable(QStringLiteral("no session or system bus"));
        return settle(Holder::None);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(LogindService), QString::fromLatin1(LogindPath),
                                                       QString::fromLatin1(LogindInterface), QStringLiteral("Inhibit"));
    call << QStringLiteral("idle") << QString::fromLatin1(AppName) << reason << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(system_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (attempt != attempt_)
            return; // the descriptor closes with the reply
        if (reply.isError() || !reply.value().isValid()) {
            noteUnavailable(reply.isError() ? reply.error().message() : QStringLiteral("no descriptor in the answer"));
            return settle(Holder::None);
        }
        lock_ = reply.value();
        settle(Holder::Logind);
    });
}

void DisplaySleepInhibitor::settle(Holder holder)
{
    holder_ = holder;
    if (holder != Holder::None)
        qCDebug(lcPower) << "Display sleep inhibited through" << holder;
    Q_EMIT settled(holder);
}

void DisplaySleepInhibitor::noteUnavailable(const QString& why)
{
    if (unavailableLogged_)
        return;
    unavailableLogged_ = true;
    qCInfo(lcPower).noquote() << "The display may sleep during downloads: neither the screen saver nor logind"
                                 " took an inhibitor ("
                                     + why + QLatin1Char(')');
}
