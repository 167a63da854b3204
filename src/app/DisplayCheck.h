#pragma once

#include <QProcessEnvironment>
#include <QStringList>

// True when Qt can open a window: an X11 or Wayland display is set, or the platform chosen
// through QT_QPA_PLATFORM or -platform needs none (offscreen, vnc, ...). Without one, Qt
// would abort with a misleading hint about reinstalling.
bool hasDisplay(const QProcessEnvironment& env, const QStringList& arguments = {});
