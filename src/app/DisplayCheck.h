#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

struct xcb_connection_t;

// Whether Qt can open a window, asked before QApplication exists: an X server or Wayland
// compositor named by the environment answers, or the platform chosen through QT_QPA_PLATFORM
// or -platform needs none (offscreen, vnc, ...). Without one, Qt would abort with a misleading
// hint about reinstalling.
//
// The X server that answered is kept connected until release(): an X server with no other
// client (Xvfb, say) resets when its last connection closes and refuses clients meanwhile, so
// the check must not close its connection before Qt has opened its own.
class DisplayCheck {
public:
    using Probe = std::function<bool(const QString& target)>;

    // Empty probes use the real ones; tests give their own.
    explicit DisplayCheck(Probe reachX11 = {}, Probe reachWayland = {});
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck&) = delete;
    DisplayCheck& operator=(const DisplayCheck&) = delete;

    bool hasDisplay(const QProcessEnvironment& env, const QStringList& arguments = {});
    // Closes the connection the check kept open, once Qt has its own.
    void release();

    // An X server accepts a connection on this display name (":0", "localhost:10.0").
    static bool canReachX11(const QString& display);
    // A Wayland compositor listens on this socket.
    static bool canReachWayland(const QString& socketPath);
    // Where a Wayland client looks for the compositor: WAYLAND_DISPLAY as an absolute path,
    // or inside XDG_RUNTIME_DIR. Empty when there is nowhere to look.
    static QString waylandSocketPath(const QProcessEnvironment& env);

private:
    bool connectX11(const QString& display);

    Probe reachX11_;
    Probe reachWayland_;
    xcb_connection_t* held_ = nullptr;
};
