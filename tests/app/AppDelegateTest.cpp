#include "AnalyticsSink.h"
#include "AppDelegate.h"
#include "Controls.h"
#include "RecordingSink.h"
#include "ApplicationMenu.h"
#include "CloudSessions.h"
#include "FakeHttpServer.h"
#include "GoogleReporter.h"
#include "LoginItem.h"
#include "Updater.h"
#include "UpdaterEvent.h"
#include "VersionRequest.h"
#include "ViewController.h"
#include "customizeButton.h"
#include "messageView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {
const QByteArray kMachineId = "0123456789abcdef0123456789abcdef";

// Cloud clients that record the calls and answer when told to.
class FakeCloud : public CloudSessions {
public:
    explicit FakeCloud(QStringList* log)
        : log_(log)
    {
    }
    bool answerGoogle = true;
    Done pendingGoogle;
    void setUp() override { *log_ << "cloud"; }
    void unlinkDropbox() override { *log_ << "unlink dropbox"; }
    QUrl dropboxLogoutUrl() const override { return QUrl("http://dropbox.standin.test:8080/logout"); }
    void logoutGoogleDrive(Done done) override
    {
        *log_ << "logout google";
        if (answerGoogle)
            done(true);
        else
            pendingGoogle = done;
    }
    void logoutOneDrive(Done done) override
    {
        *log_ << "logout onedrive";
        done(true);
    }

private:
    QStringList* log_;
};

messageView* openMessageView()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<messageView*>(w); v && v->isVisible())
            return v;
    return nullptr;
}

class AppDelegateTest : public ::testing::Test {
protected:
    QStringList log;
    FakeCloud cloud{&log};
    bool loginItemWorks = true;
    bool loginItemOnDisk = false;
    QString loginItemError = QStringLiteral("Permission denied");
    QLocale locale{QLocale::German, QLocale::Germany};
    QList<QUrl> opened;
    bool browser = true;
    int quits = 0;
    bool tray = false;
    QWidget window;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();

    void SetUp() override
    {
        QSettings().clear();
        GoogleReporter::shared().setSink(sink);
    }
    void TearDown() override
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != &window && w->isVisible())
                w->close();
        GoogleReporter::shared().setSink(nullptr);
        QSettings().clear();
    }

    LaunchServices services(bool fakeVersionRequest = true)
    {
        LaunchServices s;
        s.locale = [this] { return locale; };
        if (fakeVersionRequest)
            s.sendVersionRequest = [this] { log << "version request"; };
        s.startCrashReporting = [this](const QLocale& l) { log << "crash reporting " + l.name(); };
        s.setUserId = [this](const QString& id) { log << "user id " + id; };
        s.machineId = [] { return kMachineId; };
        s.setLoginItemEnabled = [this](bool enabled, QString* error) {
            log << QStringLiteral("login item %1").arg(enabled);
            if (!loginItemWorks) {
                *error = loginItemError;
                return false;
            }
            loginItemOnDisk = enabled;
            return true;
        };
        s.isLoginItemEnabled = [this] { return loginItemOnDisk; };
        s.openUrl = [this](const QUrl& url) { opened << url; return browser; };
        s.quit = [this] { ++quits; };
        s.trayAvailable = [this] { return tray; };
        return s;
    }

    std::unique_ptr<AppDelegate> launch(bool fakeVersionRequest = true)
    {
        auto d = std::make_unique<AppDelegate>(services(fakeVersionRequest));
        d->setCloudSessions(&cloud);
        d->applicationDidFinishLaunching(&window);
        return d;
    }
};

TEST_F(AppDelegateTest, LaunchRunsTheStepsInOrderAndLeavesAutoStartUnwritten)
{
    auto d = launch();
    const QString id = QSettings().value("userId").toString();
    EXPECT_EQ(log, (QStringList{"cloud", "version request", "crash reporting de_DE", "user id " + id, "login item 1"}));
    EXPECT_TRUE(d->menu()->autoStartMenuItem->isChecked());
    EXPECT_FALSE(QSettings().contains("autoStart"));
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
}

TEST_F(AppDelegateTest, UserIdIsHashedStableAndReused)
{
    const QString derived = AppDelegate::userIdFor(kMachineId);
    EXPECT_EQ(derived, AppDelegate::userIdFor(kMachineId + "\n"));
    EXPECT_FALSE(derived.contains(QString::fromLatin1(kMachineId.left(8)), Qt::CaseInsensitive));
    EXPECT_EQ(derived.size(), 36);
    // No machine id: a random id, different each time it has to be made.
    EXPECT_NE(AppDelegate::userIdFor(QByteArray()), AppDelegate::userIdFor(QByteArray()));

    { auto d = launch(); }
    EXPECT_EQ(QSettings().value("userId").toString(), derived);

    QSettings().setValue("userId", "stored-id");
    log.clear();
    auto d = launch();
    EXPECT_TRUE(log.contains("user id stored-id"));
    EXPECT_EQ(QSettings().value("userId").toString(), "stored-id");
}

TEST_F(AppDelegateTest, StoredAutoStartDecidesTheLoginItem)
{
    QSettings().setValue("autoStart", false);
    {
        auto d = launch();
        EXPECT_TRUE(log.contains("login item 0"));
        EXPECT_FALSE(d->menu()->autoStartMenuItem->isChecked());
    }
    QSettings().setValue("autoStart", true);
    log.clear();
    auto d = launch();
    EXPECT_TRUE(log.contains("login item 1"));
    EXPECT_TRUE(d->menu()->autoStartMenuItem->isChecked());
    EXPECT_TRUE(loginItemOnDisk);
}

TEST_F(AppDelegateTest, LoginItemFailureAtLaunchShowsWhatIsReallySet)
{
    loginItemWorks = false;
    loginItemOnDisk = false;
    auto d = launch();
    EXPECT_FALSE(d->menu()->autoStartMenuItem->isChecked());
    EXPECT_FALSE(QSettings().contains("autoStart"));
}

TEST_F(AppDelegateTest, TogglingStartAtLoginStoresTheNewState)
{
    auto d = launch();
    d->menu()->autoStartMenuItem->trigger();
    EXPECT_FALSE(d->menu()->autoStartMenuItem->isChecked());
    EXPECT_FALSE(loginItemOnDisk);
    EXPECT_EQ(QSettings().value("autoStart"), QVariant(false));
    d->menu()->autoStartMenuItem->trigger();
    EXPECT_TRUE(d->menu()->autoStartMenuItem->isChecked());
    EXPECT_EQ(QSettings().value("autoStart"), QVariant(true));
    EXPECT_EQ(openMessageView(), nullptr);
}

TEST_F(AppDelegateTest, FailedToggleRollsBackAndTellsTheUser)
{
    auto d = launch();
    loginItemWorks = false;
    d->menu()->autoStartMenuItem->trigger();
    EXPECT_TRUE(log.contains("login item 0"));
    EXPECT_TRUE(d->menu()->autoStartMenuItem->isChecked());
    EXPECT_FALSE(QSettings().contains("autoStart"));
    EXPECT_TRUE(loginItemOnDisk);

    ASSERT_TRUE(QTest::qWaitFor([] { return openMessageView() != nullptr; }));
    messageView* view = openMessageView();
    EXPECT_TRUE(view->statusString.contains(loginItemError));
    EXPECT_EQ(view->btnClickedDelegate, nullptr); // its OK must not open the support page
    QTest::mouseClick(control<customizeButton>(view, "closeBtn"), Qt::LeftButton);
    EXPECT_TRUE(opened.isEmpty());

    // The next toggle starts from the real state again.
    loginItemWorks = true;
    d->menu()->autoStartMenuItem->trigger();
    EXPECT_FALSE(d->menu()->autoStartMenuItem->isChecked());
    EXPECT_EQ(QSettings().value("autoStart"), QVariant(false));
}

TEST_F(AppDelegateTest, TheRealLoginItemFollowsTheMenu)
{
    LaunchServices real = LaunchServices::system();
    LaunchServices s = services();
    s.setLoginItemEnabled = real.setLoginItemEnabled;
    s.isLoginItemEnabled = real.isLoginItemEnabled;
    const QString entry = QDir(LoginItem::autostartDirectory()).filePath("com.morvantek.LauncherApplication.desktop");

    QSettings().setValue("autoStart", true);
    AppDelegate d(s);
    d.applicationDidFinishLaunching(&window);
    EXPECT_TRUE(QFile::exists(entry));
    d.menu()->autoStartMenuItem->trigger();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(QSettings().value("autoStart"), QVariant(false));

    // A regular file where the autostart folder belongs: even root cannot write the entry.
    QDir(LoginItem::autostartDirectory()).removeRecursively();
    QFile blocker(LoginItem::autostartDirectory());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    d.menu()->autoStartMenuItem->trigger();
    EXPECT_FALSE(d.menu()->autoStartMenuItem->isChecked());
    EXPECT_EQ(QSettings().value("autoStart"), QVariant(false));
    ASSERT_TRUE(QTest::qWaitFor([] { return openMessageView() != nullptr; }));
    QTest::mouseClick(control<customizeButton>(openMessageView(), "closeBtn"), Qt::LeftButton);
    QFile::remove(LoginItem::autostartDirectory());
}

TEST_F(AppDelegateTest, HelpUrlFollowsTheLocale)
{
    const auto code = [](const QLocale& l) { return AppDelegate::helpUrl(l).path(); };
    EXPECT_EQ(code(QLocale::c()), "/Manual/Zorvi/EN/");
    EXPECT_EQ(code(QLocale(QLocale::French, QLocale::France)), "/Manual/Zorvi/FR/");
    EXPECT_EQ(code(QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China)), "/Manual/Zorvi/CN/");
    EXPECT_EQ(code(QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan)), "/Manual/Zorvi/TW/");
    EXPECT_EQ(code(QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::HongKong)), "/Manual/Zorvi/TW/");
    EXPECT_EQ(AppDelegate::helpUrl(QLocale::c()).scheme(), "https");

    auto d = launch();
    d->menu()->helpAction->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].path(), "/Manual/Zorvi/DE/");
}

TEST_F(AppDelegateTest, HelpWithoutABrowserSaysWhatCouldNotBeOpened)
{
    auto d = launch();
    browser = false;
    d->menu()->helpAction->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return openMessageView() != nullptr; }));
    messageView* view = openMessageView();
    EXPECT_EQ(view->titleString, "Error");
    EXPECT_TRUE(view->statusString.contains(opened.value(0).toDisplayString())) << view->statusString.toStdString();
    EXPECT_EQ(view->btnClickedDelegate, nullptr);
    QTest::mouseClick(control<customizeButton>(view, "closeBtn"), Qt::LeftButton);
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(AppDelegateTest, UpdaterEventsReportAnalyticsAndDownloadFailureOffersTheSupportPage)
{
    auto d = launch();
    AppcastItem item;
    item.title = "Zorvi 9.0";
    item.version = "9.0.0";
    Q_EMIT d->updater()->updaterEvent(UpdaterEvent::didNotFindUpdate());
    Q_EMIT d->updater()->updaterEvent(UpdaterEvent::userDidSkipThisVersion(item));
    Q_EMIT d->updater()->updaterEvent(UpdaterEvent::userDidCancelDownload());
    EXPECT_EQ(sink->events, (QStringList{"Software update|Skip Version|Zorvi 9.0(9.0.0)", "Software update|User cancel|"}));
    EXPECT_EQ(openMessageView(), nullptr);

    Q_EMIT d->updater()->updaterEvent(UpdaterEvent::failedToDownloadUpdate("no route"));
    EXPECT_EQ(sink->events.last(), "Software update|Download Fail|no route");
    ASSERT_TRUE(QTest::qWaitFor([] { return openMessageView() != nullptr; }));
    messageView* view = openMessageView();
    EXPECT_EQ(view->statusString, "Get the latest software version from Morvantek website.");
    EXPECT_EQ(view->imagePath, "ic_log_lable");
    EXPECT_TRUE(view->showSecondBtn);
    EXPECT_TRUE(view->titleString.isEmpty());
    QTest::mouseClick(control<customizeButton>(view, "closeBtn"), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], AppDelegate::supportUrl());
    EXPECT_EQ(opened[0].path(), "/Support/Software-1/");
}

QStringList* capturedLines = nullptr;
void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (capturedLines)
        *capturedLines << message;
}

TEST_F(AppDelegateTest, SkippingAnOfferedUpdatePrintsAndReports)
{
    auto d = launch();
    QTemporaryDir dir;
    const QString feed = dir.filePath("appcast.xml");
    QFile file(feed);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<rss version="2.0" xmlns:zorvi="https://morvantek.com/xml/zorvi-update"><channel><item>
<title>Zorvi 99.0</title><link>https://www.morvantek.com/download/</link>
<enclosure url="https://www.morvantek.com/z.tar.gz" zorvi:version="99.0.0"/></item></channel></rss>)");
    file.close();
    d->updater()->setFeedUrl(QUrl::fromLocalFile(feed));

    QStringList lines;
    capturedLines = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    d->menu()->checkUpdatesAction->trigger();
    QMessageBox* box = nullptr;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if ((box = qobject_cast<QMessageBox*>(w)) && box->isVisible())
                return true;
        box = nullptr;
        return false;
    }));
    if (box) {
        for (QAbstractButton* b : box->buttons())
            if (b->text() == "Skip This Version")
                b->click();
    }
    qInstallMessageHandler(previous);
    capturedLines = nullptr;

    EXPECT_TRUE(lines.contains("使用者跳過此更新版本:Zorvi 99.0(99.0.0)")) << lines.join('\n').toStdString();
    EXPECT_EQ(sink->events, (QStringList{"Software update|Skip Version|Zorvi 99.0(99.0.0)"}));
}

class AppDelegateVersionCheckTest : public AppDelegateTest {
protected:
    FakeHttpServer server;
    QTemporaryDir dir;
    const QByteArray answer = R"({"result":{"appcast":"<rss version=\"2.0\"><channel></channel></rss>"}})";

    std::unique_ptr<AppDelegate> launchAgainst(const QString& appcastDirectory, const QByteArray& body = {})
    {
        server.respond(200, body.isNull() ? answer : body);
        auto d = std::make_unique<AppDelegate>(services(false));
        d->setCloudSessions(&cloud);
        d->setAppcastDirectory(appcastDirectory);
        d->versionRequest()->setBaseUrl(server.baseUrl());
        d->applicationDidFinishLaunching(&window);
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.requestCount() == 1 && !d->versionRequest()->isRunning(); }));
        return d;
    }
};

TEST_F(AppDelegateVersionCheckTest, TheStoredFeedReachesTheUpdater)
{
    auto d = launchAgainst(dir.path());
    EXPECT_EQ(server.lastRequest().path, "/v1/api/get/version");
    const QString feed = dir.filePath("appcast.xml");
    EXPECT_EQ(d->updater()->feedUrl(), QUrl::fromLocalFile(feed));
    QFile file(feed);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "<rss version=\"2.0\"><channel></channel></rss>");
}

TEST_F(AppDelegateVersionCheckTest, ALaunchPrintsNothingWhenTheVersionServiceFails)
{
    // A person starting the program from a terminal sees only what they must act on; the
    // launch's own diagnostics are debug lines.
    QStringList lines;
    capturedLines = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    auto d = launchAgainst(dir.path(), "<html>busy</html>");
    qInstallMessageHandler(previous);
    capturedLines = nullptr;
    EXPECT_TRUE(d->updater()->feedUrl().isEmpty());
    EXPECT_TRUE(lines.isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
}

TEST_F(AppDelegateVersionCheckTest, AFailedFeedWriteNeverReachesTheUpdater)
{
    // A regular file where the folder should be: the write fails.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto d = launchAgainst(dir.filePath("blocker/zorvi"));
    EXPECT_TRUE(d->updater()->feedUrl().isEmpty());
}

TEST_F(AppDelegateTest, QuitSignsOutClearsFlagsAndQuits)
{
    QSettings().setValue("hasDropboxLogedIn", true);
    QSettings().setValue("hasGoogleLogedIn", true);
    QSettings().setValue("hasOneDriveLogedIn", true);
    auto d = launch();
    log.clear();
    sink->events.clear();
    d->menu()->quitAction->trigger();
    EXPECT_EQ(log, (QStringList{"unlink dropbox", "logout google", "logout onedrive"}));
    EXPECT_EQ(quits, 1);
    // The sign-out page of the host the clients are configured for, and the page's events.
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl("http://dropbox.standin.test:8080/logout"));
    EXPECT_TRUE(sink->events.contains("Cloud Action|Log out Google Drive|"));
    EXPECT_TRUE(sink->events.contains("Cloud Action|Log out Dropbox|"));
    EXPECT_FALSE(QSettings().value("hasDropboxLogedIn").toBool());
    EXPECT_FALSE(QSettings().value("hasGoogleLogedIn").toBool());
    EXPECT_FALSE(QSettings().value("hasOneDriveLogedIn").toBool());
    // Quitting twice signs out once.
    d->requestQuit();
    EXPECT_EQ(quits, 1);
}

TEST_F(AppDelegateTest, QuitDuringARunAsksAndStopsTheRunsOnlyWhenTheUserAgrees)
{
    QSettings().setValue("eulaAccepted", true);
    ViewController vc;
    vc.show();
    AppDelegate d(services());
    d.setCloudSessions(&cloud);
    int stops = 0;
    d.stopRuns = [&] { ++stops; };
    d.applicationDidFinishLaunching(&vc);
    auto task = TaskInfo::initWithValues("A", "", {}, "/d", {}, 1, "", "None", 0, 0, {}, {}, 0, 0, 0, 0, 0, 0, {}, false);
    auto sheet = vc.presentProgressSheet(task, "Backup", "ic_log_backup", "Backup Processing...");

    d.menu()->quitAction->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return openMessageView() != nullptr; }));
    messageView* question = openMessageView();
    EXPECT_EQ(question, d.currentQuitQuestion());
    EXPECT_TRUE(question->statusString.contains("running"));
    d.menu()->quitAction->trigger(); // asked once, not twice
    EXPECT_EQ(openMessageView(), question);
    QTest::mouseClick(control<customizeButton>(question, "secondBtn"), Qt::LeftButton);
    EXPECT_EQ(stops, 0);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return openMessageView() == nullptr; }));

    d.menu()->quitAction->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return openMessageView() != nullptr; }));
    QTest::mouseClick(control<customizeButton>(openMessageView(), "closeBtn"), Qt::LeftButton);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(quits, 1);

    // With the run over, quitting asks nothing.
    vc.dismissProgressSheet(sheet);
    AppDelegate idle(services());
    idle.applicationDidFinishLaunching(&vc);
    idle.requestQuit();
    EXPECT_EQ(quits, 2);
}

TEST_F(AppDelegateTest, AHangingSignOutDoesNotHoldUpTheQuit)
{
    QSettings().setValue("hasGoogleLogedIn", true);
    cloud.answerGoogle = false;
    auto d = launch();
    d->requestQuit();
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return quits == 1; }, 10000));
    // Not signed out: the flag stays so the next quit tries again.
    EXPECT_TRUE(QSettings().value("hasGoogleLogedIn").toBool());
    EXPECT_TRUE(QApplication::topLevelWidgets().size() <= 1 || openMessageView() == nullptr);
    cloud.pendingGoogle(true); // a late answer still clears the flag
    EXPECT_FALSE(QSettings().value("hasGoogleLogedIn").toBool());
    EXPECT_EQ(quits, 1);
}

TEST_F(AppDelegateTest, ClosingTheWindowQuitsOnlyWithoutATray)
{
    QSettings().setValue("eulaAccepted", true);
    window.show();
    auto d = launch();
    EXPECT_EQ(d->trayIcon(), nullptr);
    // The menu is the window's context menu then, and its quit works from the window.
    EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_TRUE(window.actions().contains(d->menu()->aboutAction));
    window.close();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(AppDelegateTest, WithATrayClosingHidesAndReopenShowsAgain)
{
    QSettings().setValue("eulaAccepted", true);
    tray = true;
    window.show();
    auto d = launch();
    ASSERT_NE(d->trayIcon(), nullptr);
    EXPECT_EQ(d->trayIcon()->contextMenu(), d->menu());
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(sink->sessions.last(), "end");

    d->showMainWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(d->applicationShouldHandleReopen()); // visible already: nothing more
    EXPECT_TRUE(window.isVisible());
}
} // namespace
