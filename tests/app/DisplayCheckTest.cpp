#include "DisplayCheck.h"

#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QProcessEnvironment environment(std::initializer_list<std::pair<QString, QString>> vars)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : vars)
        env.insert(name, value);
    return env;
}

// Probes that answer from a list of live servers, and remember what they were asked.
struct FakeServers {
    QStringList x11;
    QStringList wayland;
    QStringList asked;
    std::function<bool(const QString&)> x()
    {
        return [this](const QString& d) { asked << "x:" + d; return x11.contains(d); };
    }
    std::function<bool(const QString&)> w()
    {
        return [this](const QString& p) { asked << "w:" + p; return wayland.contains(p); };
    }
};

bool check(FakeServers& s, const QProcessEnvironment& env, const QStringList& args = {})
{
    return DisplayCheck(s.x(), s.w()).hasDisplay(env, args);
}

bool realCheck(const QProcessEnvironment& env)
{
    return DisplayCheck().hasDisplay(env);
}

// A display number no server holds.
QString unusedDisplay()
{
    for (int n = 250; n < 400; ++n) {
        if (!QFile::exists(QString("/tmp/.X%1-lock").arg(n)) && !QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)))
            return QString(":%1").arg(n);
    }
    return {};
}
} // namespace

TEST(DisplayCheckTest, FindsADisplayOnlyWhereAServerAnswersOrNoneIsNeeded)
{
    FakeServers s;
    s.x11 = { ":0" };
    s.wayland = { "/run/user/1000/wayland-0" };
    EXPECT_TRUE(check(s, environment({ { "DISPLAY", ":0" } })));
    EXPECT_TRUE(check(s, environment({ { "WAYLAND_DISPLAY", "wayland-0" }, { "XDG_RUNTIME_DIR", "/run/user/1000" } })));
    EXPECT_TRUE(check(s, environment({ { "WAYLAND_DISPLAY", "/run/user/1000/wayland-0" } })));
    EXPECT_TRUE(check(s, environment({ { "QT_QPA_PLATFORM", "offscreen" } })));
    EXPECT_TRUE(check(s, environment({ { "QT_QPA_PLATFORM", "vnc:size=800x600" } })));
    EXPECT_TRUE(check(s, environment({ { "QT_QPA_PLATFORM", "wayland;minimal" } })));
    // A stale compositor, but Qt falls back to the X server.
    EXPECT_TRUE(check(s, environment({ { "WAYLAND_DISPLAY", "wayland-9" }, { "XDG_RUNTIME_DIR", "/run/user/1000" },
                                       { "DISPLAY", ":0" } })));

    EXPECT_FALSE(check(s, environment({})));
    EXPECT_FALSE(check(s, environment({ { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } })));
    EXPECT_FALSE(check(s, environment({ { "QT_QPA_PLATFORM", "xcb" } })));
    EXPECT_FALSE(check(s, environment({ { "QT_QPA_PLATFORM", "wayland;xcb" } })));
    // Variables left by an ssh session whose forwarding is gone.
    EXPECT_FALSE(check(s, environment({ { "DISPLAY", "localhost:10.0" } })));
    EXPECT_FALSE(check(s, environment({ { "WAYLAND_DISPLAY", "wayland-9" }, { "XDG_RUNTIME_DIR", "/run/user/1000" } })));
    EXPECT_FALSE(check(s, environment({ { "WAYLAND_DISPLAY", "wayland-0" } }))) << "no runtime folder to find it in";
    // The platform asked for is the only one Qt tries.
    EXPECT_FALSE(check(s, environment({ { "QT_QPA_PLATFORM", "xcb" }, { "WAYLAND_DISPLAY", "/run/user/1000/wayland-0" } })));
    EXPECT_FALSE(check(s, environment({ { "QT_QPA_PLATFORM", "wayland" }, { "DISPLAY", ":0" } })));
}

TEST(DisplayCheckTest, ArgumentsOverrideTheEnvironment)
{
    FakeServers s;
    s.x11 = { ":1" };
    EXPECT_TRUE(check(s, environment({}), { "zorvi", "-platform", "offscreen" }));
    EXPECT_TRUE(check(s, environment({}), { "zorvi", "--platform", "minimal" }));
    EXPECT_FALSE(check(s, environment({ { "QT_QPA_PLATFORM", "offscreen" } }), { "zorvi", "-platform", "xcb" }));
    EXPECT_FALSE(check(s, environment({}), { "zorvi", "-platform" }));
    EXPECT_TRUE(check(s, environment({ { "DISPLAY", ":7" } }), { "zorvi", "-display", ":1" }));
    EXPECT_FALSE(check(s, environment({ { "DISPLAY", ":1" } }), { "zorvi", "-display", ":7" }));
    EXPECT_EQ(s.asked.last(), "x::7");
}

TEST(DisplayCheckTest, RealProbesTellALiveServerFromAStaleName)
{
    const QString stale = unusedDisplay();
    ASSERT_FALSE(stale.isEmpty());
    EXPECT_FALSE(DisplayCheck::canReachX11(stale));
    EXPECT_FALSE(realCheck(environment({ { "DISPLAY", stale } })));
    EXPECT_FALSE(DisplayCheck::canReachX11(QString()));

    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const auto env = environment({ { "WAYLAND_DISPLAY", "wayland-test" }, { "XDG_RUNTIME_DIR", runtime.path() } });
    EXPECT_FALSE(realCheck(env));
    {
        QLocalServer compositor;
        ASSERT_TRUE(compositor.listen(runtime.filePath("wayland-test")));
        EXPECT_TRUE(DisplayCheck::canReachWayland(runtime.filePath("wayland-test")));
        EXPECT_TRUE(realCheck(env));
    }
    EXPECT_FALSE(DisplayCheck::canReachWayland(runtime.filePath("wayland-test")));

    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    QProcess server;
    // -displayfd: the server picks a free display and writes its number once it accepts
    // clients. Without -noreset, as under xvfb-run, it resets whenever its last client leaves.
    // Only the abstract socket, which xcb tries first: a socket in /tmp/.X11-unix would leave
    // that folder behind, an ordinary user's, which an X server started later refuses.
    server.start(xvfb, { "-displayfd", "1", "-nolisten", "tcp", "-nolisten", "unix", "-screen", "0", "320x240x24" });
    ASSERT_TRUE(server.waitForStarted());
    QByteArray number;
    while (!number.contains('\n') && server.waitForReadyRead(30000))
        number += server.readAllStandardOutput();
    ASSERT_TRUE(number.contains('\n')) << "Xvfb did not start";
    const QString live = ":" + QString::fromLatin1(number.trimmed());
    {
        // The check holds its connection until Qt has one, so the server cannot reset between.
        DisplayCheck check;
        EXPECT_TRUE(check.hasDisplay(environment({ { "DISPLAY", live } })));
        EXPECT_TRUE(DisplayCheck::canReachX11(live));
        EXPECT_TRUE(DisplayCheck::canReachX11(live));
        check.release();
    }
    server.terminate();
    server.waitForFinished();
}
