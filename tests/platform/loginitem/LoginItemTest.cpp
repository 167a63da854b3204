#include "LoginItem.h"
#include "OrdinaryUser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
QString read(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

class LoginItemTest : public ::testing::Test {
protected:
    LoginItemTest() : saved(qgetenv("XDG_CONFIG_HOME")) { qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path())); }
    ~LoginItemTest() override { qputenv("XDG_CONFIG_HOME", saved); }

    QByteArray saved;
    QTemporaryDir config;
};
} // namespace

TEST_F(LoginItemTest, EnablingWritesTheEntryAndDisablingRemovesIt)
{
    LoginItem item;
    const QString path = config.path() + "/autostart/com.morvantek.LauncherApplication.desktop";
    EXPECT_EQ(item.desktopFilePath(), path);
    EXPECT_EQ(item.executable(), QCoreApplication::applicationFilePath());
    EXPECT_FALSE(item.isEnabled());

    ASSERT_TRUE(item.setEnabled(true)) << item.lastError().toStdString();
    EXPECT_TRUE(item.isEnabled());
    const QString entry = read(path);
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\nType=Application\n"));
    EXPECT_TRUE(entry.contains("\nExec=" + LoginItem::execValue(QCoreApplication::applicationFilePath()) + "\n"));
    EXPECT_TRUE(item.setEnabled(true)) << "enabling twice is fine";

    ASSERT_TRUE(item.setEnabled(false));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(item.isEnabled());
    EXPECT_TRUE(item.setEnabled(false)) << "nothing to remove is success";
    EXPECT_TRUE(QDir(config.path() + "/autostart").entryList(QDir::Files | QDir::Hidden).isEmpty())
        << "no temporary files left behind";
}

TEST_F(LoginItemTest, FallsBackToHomeConfigWithoutAnAbsoluteXdgConfigHome)
{
    for (const QByteArray& value : { QByteArray(), QByteArray("relative/config") }) {
        qputenv("XDG_CONFIG_HOME", value);
        EXPECT_EQ(LoginItem::autostartDirectory(), QDir::homePath() + "/.config/autostart");
    }
}

TEST_F(LoginItemTest, ExecIsQuotedAndEscaped)
{
    EXPECT_EQ(LoginItem::execValue("/usr/bin/zorvi"), R"("/usr/bin/zorvi")");
    EXPECT_EQ(LoginItem::execValue("/opt/My Apps/zorvi"), R"("/opt/My Apps/zorvi")");
    // Each backslash in a quoted argument becomes four in the file.
    EXPECT_EQ(LoginItem::execValue(R"(/a"b`c$d\e%f)"), R"("/a\\"b\\`c\\$d\\\\e%%f")");
    EXPECT_EQ(LoginItem::execValue("/a\nb"), R"("/a\nb")");

    LoginItem item("test.id", "/opt/My Apps/zorvi 100%");
    ASSERT_TRUE(item.setEnabled(true));
    EXPECT_TRUE(read(item.desktopFilePath()).contains("\nExec=\"/opt/My Apps/zorvi 100%%\"\n"));
}

TEST_F(LoginItemTest, AnEntryTurnedOffByTheDesktopIsNotEnabled)
{
    LoginItem item;
    QDir().mkpath(LoginItem::autostartDirectory());
    QFile f(item.desktopFilePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Desktop Entry]\nType=Application\nExec=zorvi\nHidden=true\n");
    f.close();
    EXPECT_FALSE(item.isEnabled());
}

TEST_F(LoginItemTest, FailuresAreReported)
{
    // The autostart folder cannot be made: its name is taken by a file.
    QFile blocker(config.path() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    LoginItem item;
    EXPECT_FALSE(item.setEnabled(true));
    EXPECT_FALSE(item.lastError().isEmpty());
    EXPECT_FALSE(item.isEnabled());
    blocker.remove();

    // The entry's own name is taken by a folder that holds something: neither write nor remove works.
    QDir().mkpath(item.desktopFilePath() + "/inside");
    EXPECT_FALSE(item.setEnabled(true));
    EXPECT_FALSE(item.setEnabled(false));
    EXPECT_FALSE(item.lastError().isEmpty());
}

TEST_F(LoginItemTest, ReadOnlyAutostartFolderFails)
{
    OrdinaryUser::own(config.path());
    // Root writes into read-only folders: the runs are tried as an ordinary user.
    const int outcome = OrdinaryUser::runInChild([] {
        LoginItem item;
        if (!item.setEnabled(true))
            return 1;
        const QString dir = LoginItem::autostartDirectory();
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        const bool disabled = item.setEnabled(false);
        const bool keptWhenDisabling = item.isEnabled();
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (disabled || !keptWhenDisabling)
            return 2;
        if (!item.setEnabled(false))
            return 3;
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        const bool enabled = item.setEnabled(true);
        const bool nothingWritten = !item.isEnabled();
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return !enabled && nothingWritten ? 0 : 4;
    });
    EXPECT_EQ(outcome, 0) << "2: disabling a read-only entry said yes or lost it, 4: enabling said yes or left a file";
}
