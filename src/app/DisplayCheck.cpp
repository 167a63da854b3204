#include "DisplayCheck.h"

#include <QDir>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>

bool canReachX11(const QString& display)
{
    if (display.isEmpty())
        return false;
    xcb_connection_t* connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    // xcb never returns null: a failed connection is an object in an error state.
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
}

bool canReachWayland(const QString& socketPath)
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

QString waylandSocketPath(const QProcessEnvironment& env)
{
    const QString name = env.value("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return {};
    if (QDir::isAbsolutePath(name))
        return name;
    const QString runtime = env.value("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : runtime + '/' + name;
}

bool hasDisplay(const QProcessEnvironment& env, const QStringList& arguments,
                const std::function<bool(const QString&)>& reachX11,
                const std::function<bool(const QString&)>& reachWayland)
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
            && (reachWayland ? reachWayland : canReachWayland)(waylandSocketPath(env)))
            return true;
    }
    return allowsX11 && !x11Display.isEmpty() && (reachX11 ? reachX11 : canReachX11)(x11Display);
}
