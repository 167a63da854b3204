#include "CrashHandler.h"
#include "CrashReporting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// Forks a child that installs the handler for `dir` and dies of `crash`; returns the
// child's wait status.
int crashChild(const QString& dir, void (*crash)())
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const struct rlimit noCore { 0, 0 };
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (!CrashHandler::install(dir))
            ::_exit(3);
        crash();
        ::_exit(4);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

QStringList reports(const QString& dir)
{
    return QDir(dir).entryList({ "crash-*.txt" }, QDir::Files);
}

QString readReport(const QString& dir)
{
    const QStringList files = reports(dir);
    if (files.size() != 1)
        return {};
    QFile f(QDir(dir).filePath(files.first()));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

__attribute__((noinline)) void segfault()
{
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

void abortNow()
{
    std::abort();
}

void raiseFpe()
{
    ::raise(SIGFPE);
}
} // namespace

TEST(CrashHandler, WritesAReportThenDiesOfTheSameSignal)
{
    struct Case {
        void (*crash)();
        int signal;
        const char* line;
    };
    const Case cases[] = {
        { segfault, SIGSEGV, "signal: 11 (SIGSEGV)" },
        { abortNow, SIGABRT, "signal: 6 (SIGABRT)" },
        { raiseFpe, SIGFPE, "signal: 8 (SIGFPE)" },
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString reportDir = dir.filePath("app data/crashes");
        const int status = crashChild(reportDir, c.crash);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), c.signal) << "the default action runs after the report";

        const QString report = readReport(reportDir);
        ASSERT_FALSE(report.isEmpty()) << reports(reportDir).join(",").toStdString();
        EXPECT_TRUE(report.startsWith("Zorvi " ZORVI_VERSION " crash report\n"));
        EXPECT_TRUE(report.contains(c.line)) << report.toStdString();
        EXPECT_TRUE(report.contains("\nbacktrace:\n"));
        EXPECT_GT(report.split('\n').size(), 5) << "the backtrace has frames";
        const QString file = reports(reportDir).first();
        EXPECT_EQ(QFile::permissions(QDir(reportDir).filePath(file)) & (QFile::ReadOther | QFile::ReadGroup), 0)
            << "reports are private";
    }
}

TEST(CrashHandler, RefusesFoldersItCannotUseAndRestoresPreviousHandlers)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(CrashHandler::install(dir.filePath("file/crashes")));
    EXPECT_FALSE(CrashHandler::install(QString()));
    EXPECT_FALSE(CrashHandler::isInstalled());

    struct sigaction before {};
    ::sigaction(SIGSEGV, nullptr, &before);
    ASSERT_TRUE(CrashHandler::install(dir.filePath("crashes")));
    EXPECT_EQ(CrashHandler::directory(), dir.filePath("crashes"));
    CrashHandler::uninstall();
    struct sigaction after {};
    ::sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);
    EXPECT_FALSE(CrashHandler::isInstalled());
}

TEST(CrashReporting, StartInstallsTheHandlerUnderTheApplicationDataFolder)
{
    CrashReporting::setLogLevel(CrashReporting::Verbose);
    EXPECT_EQ(CrashReporting::logLevel(), 2);
    // The launch's verbose level leaves the category as quiet as the logging rules have it.
    EXPECT_FALSE(lcCrashes().isDebugEnabled());
    CrashReporting::setCountryCode("TW");
    EXPECT_EQ(CrashReporting::countryCode(), "TW");
    EXPECT_EQ(CrashReporting::regionCode(QLocale("zh_TW")), "TW");
    EXPECT_EQ(CrashReporting::regionCode(QLocale::c()), "");

    EXPECT_FALSE(CrashReporting::start(QString(), CrashReporting::Analytics | CrashReporting::Crashes));
    EXPECT_FALSE(CrashReporting::isStarted());

    EXPECT_TRUE(CrashReporting::reportDirectory().startsWith(QDir::homePath()));
    EXPECT_TRUE(CrashReporting::reportDirectory().endsWith("/crashes"));
    ASSERT_TRUE(CrashReporting::start("3f8c2d41-7b6e-4a93-9e05-c1d7a8b46f20",
                                      CrashReporting::Analytics | CrashReporting::Crashes));
    EXPECT_TRUE(CrashReporting::isStarted());
    EXPECT_TRUE(CrashHandler::isInstalled());
    EXPECT_EQ(CrashHandler::directory(), CrashReporting::reportDirectory());
    EXPECT_TRUE(QDir(CrashReporting::reportDirectory()).exists());
    CrashReporting::setUserId("0A1B-2C3D");
    EXPECT_EQ(CrashReporting::userId(), "0A1B-2C3D");
    CrashHandler::uninstall();
}
