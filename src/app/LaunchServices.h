#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QUrl>
#include <functional>

// The outside calls of the application delegate, one function each so tests can watch the
// launch order and fake failures. system() gives the real ones.
struct LaunchServices {
    std::function<QLocale()> locale;
    // Empty: the delegate's own version check (VersionRequest, AppcastFile, Updater).
    std::function<void()> sendVersionRequest;
    // Log level, country, start with analytics and crashes.
    std::function<void(const QLocale&)> startCrashReporting;
    std::function<void(const QString&)> setUserId;
    // The raw machine id ("" when none); only ever used hashed.
    std::function<QByteArray()> machineId;
    // True when the login item took the new state; otherwise *error says why.
    std::function<bool(bool enabled, QString* error)> setLoginItemEnabled;
    std::function<bool()> isLoginItemEnabled;
    std::function<bool(const QUrl&)> openUrl;
    // Ends the event loop.
    std::function<void()> quit;
    std::function<bool()> trayAvailable;

    static LaunchServices system();
};
