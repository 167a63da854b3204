#include "AboutView.h"
#include "AppDelegate.h"
#include "Controls.h"
#include "DrainEvents.h"
#include "LoginItem.h"
#include "NoDrivesAttached.h"
#include "TempHome.h"
#include "ViewController.h"
#include "eulaView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {
// Launch calls that do nothing; only quitting is counted.
LaunchServices quietServices(int* quits)
{
    LaunchServices s;
    s.locale = [] { return QLocale::c(); };
    s.sendVersionRequest = [] {};
    s.setLoginItemEnabled = [](bool, QString*) { return true; };
    s.openUrl = [](const QUrl&) { return true; };
    s.quit = [quits] { ++*quits; };
    s.trayAvailable = [] { return true; };
    return s;
}

class EulaTest : public ::testing::Test {
protected:
    int quits = 0;
    QWidget window;

    void SetUp() override { QSettings().clear(); }
    void TearDown() override { QSettings().clear(); }

    eulaView* waitForEula(AppDelegate& d)
    {
        if (!QTest::qWaitFor([&] { return d.currentEula() && d.currentEula()->isVisible(); }))
            return nullptr;
        return d.currentEula();
    }
};

TEST_F(EulaTest, ShownOnEveryShowUntilAccepted)
{
    AppDelegate d(quietServices(&quits));
    window.setGeometry(120, 90, 700, 500);
    window.show();
    d.applicationDidFinishLaunching(&window);
    eulaView* eula = waitForEula(d);
    ASSERT_NE(eula, nullptr);
    EXPECT_TRUE(eula->isModal());
    EXPECT_FALSE(control<QPlainTextEdit>(eula, "eulaTextView")->toPlainText().isEmpty());
    EXPECT_TRUE(control<QPlainTextEdit>(eula, "eulaTextView")->isReadOnly());
    EXPECT_LE((eula->frameGeometry().center() - window.frameGeometry().center()).manhattanLength(), 8);

    // Hidden to the tray and shown again while the dialog is open: still one dialog.
    window.hide();
    window.show();
    ASSERT_TRUE(drainEvents());
    EXPECT_EQ(d.currentEula(), eula);

    QTest::mouseClick(control<QPushButton>(eula, "acceptBtn"), Qt::LeftButton);
    EXPECT_TRUE(QSettings().value("eulaAccepted").toBool());
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.currentEula() == nullptr; })) << "the agreement never closed";

    window.hide();
    window.show();
    ASSERT_TRUE(drainEvents());
    EXPECT_EQ(d.currentEula(), nullptr);
}

TEST_F(EulaTest, NotShownOnceAccepted)
{
    QSettings().setValue("eulaAccepted", true);
    AppDelegate d(quietServices(&quits));
    d.applicationDidFinishLaunching(&window);
    window.show();
    ASSERT_TRUE(drainEvents());
    EXPECT_EQ(d.currentEula(), nullptr);
}

TEST_F(EulaTest, EveryWayOutButAcceptQuits)
{
    const auto leave = [](eulaView* eula, int way) {
        switch (way) {
        case 0: QTest::mouseClick(control<QPushButton>(eula, "rejectBtn"), Qt::LeftButton); break;
        case 1: QTest::keyClick(eula, Qt::Key_Escape); break;
        case 2: eula->close(); break; // the window manager's close
        default: eula->hide(); break;
        }
    };
    for (int way = 0; way < 4; ++way) {
        int quits = 0;
        auto* eula = new eulaView;
        eula->quitProgram = [&quits] { ++quits; };
        eula->present();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(eula));
        leave(eula, way);
        EXPECT_EQ(quits, 1) << "way " << way;
        EXPECT_FALSE(QSettings().value("eulaAccepted", false).toBool());
    }
}

TEST_F(EulaTest, DeclineThroughTheDelegateQuitsTheApplication)
{
    AppDelegate d(quietServices(&quits));
    window.show();
    d.applicationDidFinishLaunching(&window);
    eulaView* eula = waitForEula(d);
    ASSERT_NE(eula, nullptr);
    QTest::mouseClick(control<QPushButton>(eula, "rejectBtn"), Qt::LeftButton);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(QSettings().contains("eulaAccepted"));
}

TEST_F(EulaTest, DeclineTakesBackWhatTheLaunchLeft)
{
    const LaunchServices real = LaunchServices::system();
    LaunchServices s = quietServices(&quits);
    s.setLoginItemEnabled = real.setLoginItemEnabled;
    s.isLoginItemEnabled = real.isLoginItemEnabled;
    const QString entry = LoginItem().desktopFilePath();
    QFile::remove(entry);

    AppDelegate d(s);
    window.show();
    d.applicationDidFinishLaunching(&window);
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(QSettings().contains("userId"));
    eulaView* eula = waitForEula(d);
    ASSERT_NE(eula, nullptr);
    QTest::mouseClick(control<QPushButton>(eula, "rejectBtn"), Qt::LeftButton);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(QFile::exists(entry)) << "Zorvi would start again at the next login";
    EXPECT_TRUE(QSettings().allKeys().isEmpty()) << QSettings().allKeys().join(' ').toStdString();

    // An entry that was there before this launch is not ours to remove.
    window.hide();
    ASSERT_TRUE(LoginItem().setEnabled(true));
    AppDelegate again(s);
    window.show();
    again.applicationDidFinishLaunching(&window);
    eula = waitForEula(again);
    ASSERT_NE(eula, nullptr);
    QTest::mouseClick(control<QPushButton>(eula, "rejectBtn"), Qt::LeftButton);
    EXPECT_EQ(quits, 2);
    EXPECT_TRUE(QFile::exists(entry));
    QFile::remove(entry);
}

TEST_F(EulaTest, DecliningLeavesTheDocumentsFolderAsItWas)
{
    const QString folder = TempHome::instance()->documents() + "/MorvantekZorvi";
    const QString list = folder + "/metadata.meta";
    QDir(folder).removeRecursively();
    const NoDrivesAttached noDrives;
    // One launch up to the agreement, answered by `accept`.
    const auto launch = [&](bool accept) {
        ViewController vc;
        vc.start();
        EXPECT_TRUE(QFile::exists(list)) << "starting writes the task list";
        AppDelegate d(quietServices(&quits));
        vc.show();
        d.applicationDidFinishLaunching(&vc);
        eulaView* eula = waitForEula(d);
        ASSERT_NE(eula, nullptr);
        QTest::mouseClick(accept ? control<QPushButton>(eula, "acceptBtn") : control<QPushButton>(eula, "rejectBtn"), Qt::LeftButton);
    };

    launch(false);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(QFileInfo::exists(folder)) << "the declined launch left its folder in Documents";
    EXPECT_TRUE(QFileInfo::exists(TempHome::instance()->documents()));

    // A folder the user had, with a file of theirs: only the launch's own file goes.
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        QFile notes(folder + "/notes.txt");
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
        notes.write("mine");
    }
    launch(false);
    EXPECT_EQ(quits, 2);
    EXPECT_TRUE(QFile::exists(folder + "/notes.txt"));
    EXPECT_FALSE(QFile::exists(list));

    // A task list from an earlier launch is the user's too.
    launch(true);
    EXPECT_EQ(quits, 2);
    ASSERT_TRUE(QFile::exists(list));
    QSettings().clear();
    launch(false);
    EXPECT_EQ(quits, 3);
    EXPECT_TRUE(QFile::exists(list));
    EXPECT_TRUE(QFile::exists(folder + "/notes.txt"));
    QDir(folder).removeRecursively();
}

TEST_F(EulaTest, WindowHasNoCloseButtonAndDoesNotResize)
{
    eulaView eula;
    EXPECT_FALSE(eula.windowTitle().trimmed().isEmpty());
    EXPECT_FALSE(eula.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(eula.windowFlags() & Qt::WindowMaximizeButtonHint);
    // Without naming some button the window manager offers all of them.
    EXPECT_TRUE(eula.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint));
    EXPECT_EQ(eula.minimumSize(), eula.maximumSize());
    eula.isAccept = true; // leaving the stack must not count as declining
}

TEST(AboutViewTest, ShowsTheVersionAndTheStatement)
{
    auto* about = new AboutView;
    about->present();
    EXPECT_EQ(control<QLabel>(about, "versionLabel")->text(), QStringLiteral("Version " ZORVI_VERSION));
    EXPECT_FALSE(control<QPlainTextEdit>(about, "licenseText")->isVisible());
    QTest::mouseClick(control<QPushButton>(about, "licenseBtn"), Qt::LeftButton);
    EXPECT_TRUE(control<QPlainTextEdit>(about, "licenseText")->isVisible());
    EXPECT_EQ(control<QPlainTextEdit>(about, "licenseText")->toPlainText(), AboutView::statementText());
    EXPECT_TRUE(AboutView::statementText().contains("Licence Statement"));
    about->closeClicked();
}

TEST(AboutViewTest, TheStatementOpensCentredOverTheMainWindow)
{
    QWidget window; // within the offscreen screen (800x600), so the dialog needs no clamping
    window.setGeometry(50, 50, 700, 500);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* about = new AboutView(&window);
    about->present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    const QSize small = about->size();
    QTest::mouseClick(control<QPushButton>(about, "licenseBtn"), Qt::LeftButton);
    EXPECT_GT(about->height(), small.height());
    EXPECT_LE((about->frameGeometry().center() - window.frameGeometry().center()).manhattanLength(), 8);
    about->closeClicked();
}

TEST(AboutViewTest, MissingStatementDoesNothing)
{
    AboutView about;
    about.setStatementPath(QStringLiteral(":/texts/absent.txt"));
    about.show();
    about.licenseClicked();
    EXPECT_FALSE(control<QPlainTextEdit>(about, "licenseText")->isVisible());
    EXPECT_TRUE(AboutView::statementText(QStringLiteral("/nonexistent/statement.txt")).isEmpty());
}

TEST(AboutViewTest, TheMenuOpensOneAboutDialog)
{
    int quits = 0;
    AppDelegate d(quietServices(&quits));
    d.showAbout();
    AboutView* about = d.currentAbout();
    ASSERT_NE(about, nullptr);
    d.showAbout();
    EXPECT_EQ(d.currentAbout(), about);
    EXPECT_TRUE(about->isModal());
    about->closeClicked();
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.currentAbout() == nullptr; }));
}
} // namespace
