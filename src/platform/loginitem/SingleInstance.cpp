#include "SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcInstance, "zorvi.instance", QtInfoMsg)
}

SingleInstance::SingleInstance(const QDBusConnection& bus, const QString& serviceName, QObject* parent)
    : QObject(parent)
    , bus_(bus)
    , serviceName_(serviceName)
{
}

SingleInstance::~SingleInstance()
{
    if (registered_) {
        bus_.unregisterObject(QString::fromLatin1(ObjectPath));
        if (outcome_ == Outcome::Primary)
            bus_.unregisterService(serviceName_);
    }
}

SingleInstance::Outcome SingleInstance::claim()
{
    if (claimed_)
        return outcome_;
    claimed_ = true;
    if (!bus_.isConnected() || !bus_.interface())
        return outcome_ = Outcome::NoBus;

    // The object is in place before the name is, so an activation that follows the claim at
    // once finds it.
    registered_ = bus_.registerObject(QString::fromLatin1(ObjectPath), this, QDBusConnection::ExportScriptableSlots);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        serviceName_, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        qCWarning(lcInstance).noquote() << "The session bus refused the name" << serviceName_ << ":" << reply.error().message();
        return outcome_ = Outcome::NoBus;
    }
    if (reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return outcome_ = Outcome::Primary;

    if (registered_) {
        bus_.unregisterObject(QString::fromLatin1(ObjectPath));
        registered_ = false;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(serviceName_, QString::fromLatin1(ObjectPath),
                                                            QString::fromLatin1(Interface), QStringLiteral("activate"));
    // Events keep running meanwhile, so an instance in this same process can answer too.
    const QDBusMessage answer = bus_.call(call, QDBus::BlockWithGui, timeoutMs_);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        qCWarning(lcInstance).noquote() << "Zorvi is already running but did not answer:" << answer.errorMessage();
        return outcome_ = Outcome::OtherUnresponsive;
    }
    return outcome_ = Outcome::ActivatedOther;
}

void SingleInstance::activate()
{
    Q_EMIT activateRequested();
}
