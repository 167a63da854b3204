#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

// True when Qt can open a window: an X server or Wayland compositor named by the environment
// answers, or the platform chosen through QT_QPA_PLATFORM or -platform needs none (offscreen,
// vnc, ...). Without one, Qt would abort with a misleading hint about reinstalling.
// The probes are replaceable so the choice can be tested without display servers.
bool hasDisplay(const QProcessEnvironment& env, const QStringList& arguments = {},
                const std::function<bool(const QString& display)>& reachX11 = {},
                const std::function<bool(const QString& socketPath)>& reachWayland = {});

// An X server accepts a connection on this display name (":0", "localhost:10.0").
bool canReachX11(const QString& display);
// A Wayland compositor listens on this socket.
bool canReachWayland(const QString& socketPath);
// Where a Wayland client looks for the compositor: WAYLAND_DISPLAY as an absolute path, or
// inside XDG_RUNTIME_DIR. Empty when there is nowhere to look.
QString waylandSocketPath(const QProcessEnvironment& env);
