#include "TempHome.h"

#include <QDir>
#include <QSettings>
#include <cstdlib>

namespace {
TempHome* g_instance = nullptr;

void setEnv(const char* name, const QString& value)
{
    ::setenv(name, value.toLocal8Bit().constData(), 1);
}
} // namespace

TempHome::TempHome()
    : dir_(QDir::tempPath() + "/zorvi-test-home-XXXXXX")
{
    const QString home = dir_.path();
    for (const char* sub : { "Documents", ".config", ".local/share", ".cache", "runtime" })
        QDir().mkpath(home + "/" + sub);
    QFile::setPermissions(home + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setEnv("HOME", home);
    setEnv("XDG_CONFIG_HOME", home + "/.config");
    setEnv("XDG_DATA_HOME", home + "/.local/share");
    setEnv("XDG_CACHE_HOME", home + "/.cache");
    setEnv("XDG_RUNTIME_DIR", home + "/runtime");
    setEnv("XDG_DOCUMENTS_DIR", home + "/Documents");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home + "/.config");
    g_instance = this;
}

TempHome::~TempHome()
{
    if (g_instance == this)
        g_instance = nullptr;
}

QString TempHome::documents() const
{
    return dir_.path() + "/Documents";
}

TempHome* TempHome::instance()
{
    return g_instance;
}
