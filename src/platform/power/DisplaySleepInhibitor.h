#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// Keeps the display from sleeping while it is held: the desktop's screen saver service
// (org.freedesktop.ScreenSaver Inhibit on the session bus), or, where there is none, logind's
// idle inhibitor (org.freedesktop.login1 Inhibit("idle", ...) on the system bus), which lasts
// as long as we keep the descriptor it hands back. Without either the display may sleep;
// that is logged once and is never an error for the caller. Calls never block.
class DisplaySleepInhibitor : public QObject {
    Q_OBJECT
public:
    enum class Holder { None, ScreenSaver, Logind };
    Q_ENUM(Holder)

    static constexpr const char* ScreenSaverService = "org.freedesktop.ScreenSaver";
    static constexpr const char* ScreenSaverPath = "/org/freedesktop/ScreenSaver";
    static constexpr const char* LogindService = "org.freedesktop.login1";
    static constexpr const char* LogindPath = "/org/freedesktop/login1";
    static constexpr const char* LogindInterface = "org.freedesktop.login1.Manager";
    static constexpr const char* AppName = "Zorvi";

    explicit DisplaySleepInhibitor(QObject* parent = nullptr);
    DisplaySleepInhibitor(const QDBusConnection& session, const QDBusConnection& system, QObject* parent = nullptr);
    ~DisplaySleepInhibitor() override;

    // Asks for the display to stay awake; nothing happens while a request is held or pending.
    void inhibit(const QString& reason);
    // Lets the display sleep again; an answer still pending is given back when it arrives.
    void release();

    bool isRequested() const { return wanted_; }
    Holder holder() const { return holder_; }

Q_SIGNALS:
    // The request is now held by `holder`, or by nothing (no service answered).
    void settled(DisplaySleepInhibitor::Holder holder);
    void released();

private:
    void askScreenSaver(const QString& reason, quint64 attempt);
    void askLogind(const QString& reason, quint64 attempt);
    void settle(Holder holder);
    void noteUnavailable(const QString& why);

    QDBusConnection session_;
    QDBusConnection system_;
    bool wanted_ = false;
    quint64 attempt_ = 0; // answers of an earlier request are handed back, not kept
    Holder holder_ = Holder::None;
    uint cookie_ = 0;
    QDBusUnixFileDescriptor lock_; // logind's inhibitor lasts while this stays open
    bool unavailableLogged_ = false;
};
