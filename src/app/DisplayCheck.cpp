#include "DisplayCheck.h"

bool hasDisplay(const QProcessEnvironment& env, const QStringList& arguments)
{
    if (!env.value("DISPLAY").isEmpty() || !env.value("WAYLAND_DISPLAY").isEmpty())
        return true;

    static const QStringList displayFree = {
        "offscreen", "minimal", "minimalegl", "vnc", "linuxfb", "eglfs", "vkkhrdisplay"
    };
    QString platforms = env.value("QT_QPA_PLATFORM");
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-platform" || arguments[i] == "--platform")
            platforms = arguments[i + 1];
    }
    // Qt tries a ';'-separated list in order; an entry may carry ':options'.
    for (const QString& entry : platforms.split(';', Qt::SkipEmptyParts)) {
        if (displayFree.contains(entry.section(':', 0, 0).trimmed()))
            return true;
    }
    return false;
}
