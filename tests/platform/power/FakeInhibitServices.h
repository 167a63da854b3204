#pragma once

#include <QDBusUnixFileDescriptor>
#include <QList>
#include <QObject>
#include <QStringList>

#include <unistd.h>

// Stands in for the desktop's screen saver on a private bus.
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    QStringList inhibits; // "app|reason"
    QList<uint> uninhibited;

public Q_SLOTS:
    Q_SCRIPTABLE uint Inhibit(const QString& app, const QString& reason)
    {
        inhibits.append(app + '|' + reason);
        return uint(40 + inhibits.size());
    }
    Q_SCRIPTABLE void UnInhibit(uint cookie) { uninhibited.append(cookie); }
};

// Stands in for logind: each Inhibit hands out the write end of a pipe and keeps the read
// end, which reaches end-of-file once the client has closed every copy it got.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogind() override
    {
        for (int fd : readEnds)
            ::close(fd);
    }
    QStringList calls; // "what|who|why|mode"
    QList<int> readEnds;

public Q_SLOTS:
    Q_SCRIPTABLE QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                                 const QString& mode)
    {
        calls.append(what + '|' + who + '|' + why + '|' + mode);
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        readEnds.append(fds[0]);
        QDBusUnixFileDescriptor out(fds[1]); // a copy of its own
        ::close(fds[1]);
        return out;
    }
};
