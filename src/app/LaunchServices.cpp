#include "LaunchServices.h"

#include "CrashReporting.h"
#include "LoginItem.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QSystemTrayIcon>
#include <memory>

namespace {
constexpr const char* kCrashReportingSecret = "3f8c2d41-7b6e-4a93-9e05-c1d7a8b46f20";
} // namespace

LaunchServices LaunchServices::system()
{
    LaunchServices s;
    s.locale = [] { return QLocale(); };
    s.startCrashReporting = [](const QLocale& locale) {
        CrashReporting::setLogLevel(CrashReporting::Verbose);
        CrashReporting::setCountryCode(CrashReporting::regionCode(locale));
        if (!CrashReporting::start(QString::fromLatin1(kCrashReportingSecret),
                                   CrashReporting::Analytics | CrashReporting::Crashes))
            qCWarning(lcCrashes) << "Crash reporting could not be started.";
    };
    s.setUserId = [](const QString& id) { CrashReporting::setUserId(id); };
    s.machineId = [] {
        for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
            QFile file(QString::fromLatin1(path));
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray id = file.read(256).trimmed();
                if (!id.isEmpty())
                    return id;
            }
        }
        return QByteArray();
    };
    auto item = std::make_shared<LoginItem>();
    s.setLoginItemEnabled = [item](bool enabled, QString* error) {
        const bool ok = item->setEnabled(enabled);
        if (!ok && error)
            *error = item->lastError();
        return ok;
    };
    s.isLoginItemEnabled = [item] { return item->isEnabled(); };
    s.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    // exit(), not quit(): quit() first asks every window to close, and the message windows
    // refuse, which would cancel the quit.
    s.quit = [] { QCoreApplication::exit(0); };
    s.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    return s;
}
