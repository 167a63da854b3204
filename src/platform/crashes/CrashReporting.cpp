#include "CrashReporting.h"

#include "CrashHandler.h"

#include <QMutex>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcCrashes, "zorvi.crashes", QtInfoMsg)

namespace {
struct State {
    QMutex mutex;
    int logLevel = CrashReporting::Warning;
    QString countryCode;
    QString userId;
    bool started = false;
};

State& state()
{
    static State s;
    return s;
}
} // namespace

void CrashReporting::setLogLevel(int level)
{
    {
        QMutexLocker lock(&state().mutex);
        state().logLevel = level;
    }
    // A level quietens the category but never makes it louder than the logging rules do:
    // the launch asks for the most talkative level, and its lines are for whoever turns them
    // on (QT_LOGGING_RULES="zorvi.crashes.debug=true"), not for a person starting the program.
    auto& category = const_cast<QLoggingCategory&>(lcCrashes());
    if (level > Debug)
        category.setEnabled(QtDebugMsg, false);
    if (level > Info)
        category.setEnabled(QtInfoMsg, false);
}

int CrashReporting::logLevel()
{
    QMutexLocker lock(&state().mutex);
    return state().logLevel;
}

void CrashReporting::setCountryCode(const QString& code)
{
    QMutexLocker lock(&state().mutex);
    state().countryCode = code;
    qCDebug(lcCrashes) << "country code" << code;
}

QString CrashReporting::regionCode(const QLocale& locale)
{
    if (locale.language() == QLocale::C || locale.territory() == QLocale::AnyTerritory)
        return QString();
    return QLocale::territoryToCode(locale.territory());
}

QString CrashReporting::countryCode()
{
    QMutexLocker lock(&state().mutex);
    return state().countryCode;
}

bool CrashReporting::start(const QString& appSecret, Services services)
{
    QMutexLocker lock(&state().mutex);
    if (state().started) {
        qCWarning(lcCrashes) << "Crash reporting is already started.";
        return true;
    }
    if (appSecret.trimmed().isEmpty()) {
        qCWarning(lcCrashes) << "Crash reporting needs an application secret; not started.";
        return false;
    }
    if (services.testFlag(Crashes) && !CrashHandler::install(reportDirectory())) {
        qCWarning(lcCrashes).noquote() << "The crash handler could not be installed for" << reportDirectory();
        return false;
    }
    state().started = true;
    qCDebug(lcCrashes).noquote() << "started; crash reports go to" << CrashHandler::directory();
    return true;
}

bool CrashReporting::isStarted()
{
    QMutexLocker lock(&state().mutex);
    return state().started;
}

void CrashReporting::setUserId(const QString& userId)
{
    QMutexLocker lock(&state().mutex);
    state().userId = userId;
}

QString CrashReporting::userId()
{
    QMutexLocker lock(&state().mutex);
    return state().userId;
}

QString CrashReporting::reportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/crashes");
}
