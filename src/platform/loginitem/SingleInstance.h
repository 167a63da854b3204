#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// One running Zorvi per session. The first process owns the session-bus name and answers
// "activate"; a later one asks it to show itself and then ends. Without a session bus every
// process counts as the only one.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.morvantek.Zorvi")
public:
    static constexpr const char* DefaultServiceName = "com.morvantek.Zorvi";
    static constexpr const char* ObjectPath = "/com/morvantek/Zorvi";
    static constexpr const char* Interface = "com.morvantek.Zorvi";

    enum class Outcome {
        Primary,          // this process owns the name
        NoBus,            // no session bus: run as the only instance
        ActivatedOther,   // another instance runs and was asked to show itself: exit
        OtherUnresponsive // another instance owns the name but did not answer: exit all the same
    };

    explicit SingleInstance(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                            const QString& serviceName = QString::fromLatin1(DefaultServiceName),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // Claims the name (once; later calls return the first outcome).
    Outcome claim();
    Outcome outcome() const { return outcome_; }
    // True when another instance owns the session: this process should exit.
    bool shouldExit() const { return outcome_ == Outcome::ActivatedOther || outcome_ == Outcome::OtherUnresponsive; }

    // How long a second instance waits for the first to answer.
    void setActivationTimeout(int ms) { timeoutMs_ = ms; }

public Q_SLOTS:
    // Called over the bus by a second instance.
    Q_SCRIPTABLE void activate();

Q_SIGNALS:
    void activateRequested();

private:
    QDBusConnection bus_;
    QString serviceName_;
    Outcome outcome_ = Outcome::NoBus;
    bool claimed_ = false;
    bool registered_ = false;
    int timeoutMs_ = 5000;
};
