#pragma once

#include <QFlags>
#include <QLocale>
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcCrashes)

// The launch-time calls of crash reporting: log level, country, start with services, user id.
// Starting the crash service installs CrashHandler with reports under the application-data
// folder's "crashes"; nothing is ever uploaded.
class CrashReporting {
public:
    enum Service {
        Analytics = 0x1, // events go through the analytics layer; accepted here for the call's shape
        Crashes = 0x2,
    };
    Q_DECLARE_FLAGS(Services, Service)

    // Levels as the launch sequence passes them; 2 is the most talkative.
    enum LogLevel { Verbose = 2, Debug = 3, Info = 4, Warning = 5, Error = 6, Assert = 7, None = 99 };

    static void setLogLevel(int level);
    static int logLevel();
    // ISO 3166 region code of the current locale; empty when it has none.
    static void setCountryCode(const QString& code);
    // The region code to pass for `locale`; empty when the locale names no region.
    static QString regionCode(const QLocale& locale);
    static QString countryCode();
    // Starts the services once; a second start is ignored. False when the secret is empty or
    // the crash handler could not be installed.
    static bool start(const QString& appSecret, Services services);
    static bool isStarted();
    static void setUserId(const QString& userId);
    static QString userId();

    // AppDataLocation + "/crashes".
    static QString reportDirectory();

private:
    CrashReporting() = delete;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(CrashReporting::Services)
