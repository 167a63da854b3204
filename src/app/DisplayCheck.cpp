#include "DisplayCheck.h"

#include <QDir>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>
#include <utility>

DisplayCheck::DisplayCheck(Probe reachX11, Probe reachWayland)
    : reachX11_(std::move(reachX11))
    , reachWayland_(std::move(reachWayland))
{
}

DisplayCheck::~DisplayCheck()
{
    release();
}

void DisplayCheck::release()
{
    if (held_)
        xcb_disconnect(held_);
    held_ = nullptr;
}

bool DisplayCheck::connectX11(const QString& display)
{
    if (display.isEmpty())
        return false;
    release();
    xcb_connection_t* connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    // xcb never returns null: a failed connection is an object in an error state.
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return false;
    }
    held_ = connection;
    return true;
}

bool DisplayCheck::canReachX11(const QString& display)
{
    DisplayCheck probe;
    return probe.connectX11(display);
}

bool DisplayCheck::canReachWayland(const QString& socketPath)
{
    const QByteArray path = socketPath.toLocal8Bit();
    sockaddr_un address {};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

QString DisplayCheck::waylandSocketPath(const QProcessEnvironment& env)
{
    const QString name = env.value("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return {};
    if (QDir::isAbsolutePath(name))
        return name;
    const QString runtime = env.value("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : runtime + '/' + name;
}

bool DisplayCheck::hasDisplay(const QProcessEnvironment& env, const QStringList& arguments)
{
    QString platforms = env.value("QT_QPA_PLATFORM");
    QString x11Display = env.value("DISPLAY");
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-platform" || arguments[i] == "--platform")
            platforms = arguments[i + 1];
        else if (arguments[i] == "-display" || arguments[i] == "--display")
            x11Display = arguments[i + 1];
    }
    // Qt tries a ';'-separated list in order; an entry may carry ':options'.
    QStringList entries;
    for (const QString& entry : platforms.split(';', Qt::SkipEmptyParts))
        entries << entry.section(':', 0, 0).trimmed();
    bool allowsX11 = entries.isEmpty();
    bool allowsWayland = entries.isEmpty();
    for (const QString& name : std::as_const(entries)) {
        if (name == "xcb")
            allowsX11 = true;
        else if (name.startsWith("wayland"))
            allowsWayland = true;
        else
            return true; // needs no display (offscreen, vnc, ...), or one this check cannot judge
    }

    // A variable left over from another session (an ssh login whose forwarding is gone)
    // names a server that is not there: Qt cannot use it either.
    if (allowsWayland) {
        if (!env.value("WAYLAND_SOCKET").isEmpty())
            return true;
        if (!env.value("WAYLAND_DISPLAY").isEmpty()
            && (reachWayland_ ? reachWayland_(waylandSocketPath(env)) : canReachWayland(waylandSocketPath(env))))
            return true;
    }
    if (!allowsX11 || x11Display.isEmpty())
        return false;
    return reachX11_ ? reachX11_(x11Display) : connectX11(x11Display);
}
