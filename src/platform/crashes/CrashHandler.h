#pragma once

#include <QString>

// Writes a short report when the process dies of SIGSEGV, SIGABRT, SIGBUS, SIGFPE or SIGILL,
// then lets the default action run (core dump, non-zero status). The handler only calls
// async-signal-safe functions on buffers prepared by install(); the report holds the
// program version, the signal, the process id and a backtrace, never user data.
class CrashHandler {
public:
    // Reports go to `directory` (created here), one file per crash:
    // "crash-<unix time>-<pid>.txt". Returns false when the folder cannot be made or a
    // handler cannot be installed. Calling it again moves the reports to the new folder.
    static bool install(const QString& directory);
    // Restores the handlers that were in place before install().
    static void uninstall();
    static bool isInstalled();
    static QString directory();

private:
    CrashHandler() = delete;
};
