// The main window page host, offscreen.
#include "Controls.h"
#include "RecordingSink.h"
#include "ViewController.h"

#include "AnalyticsSink.h"
#include "EmbeddedPage.h"
#include "ExternalVolumes.h"
#include "GoogleReporter.h"
#include "MyTabButton.h"
#include "OtbPoller.h"
#include "PageRegistry.h"
#include "PlaceholderPage.h"
#include "ProgressView.h"
#include "TaskTablePage.h"
#include "UsbDeviceTracker.h"
#include "UserNotifier.h"
#include "WindowFactory.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSysInfo>
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The tab buttons in the order the strip shows them.
QList<MyTabButton*> tabButtons(const ViewController& vc)
{
    return vc.findChildren<MyTabButton*>();
}

class FakeListPage : public QWidget, public TaskTablePage, public EmbeddedPage {
public:
    using QWidget::QWidget;
    void setTableData(const QList<TaskInfoPtr>& tasks) override { data = tasks; }
    void reloadTaskTable() override { ++reloads; }
    void embed(QObject* mainWindow) override
    {
        embeddedIn = mainWindow;
        backupDelegate = dynamic_cast<BackupSendTaskDelegate*>(mainWindow);
    }
    QList<TaskInfoPtr> data;
    int reloads = 0;
    QObject* embeddedIn = nullptr;
    BackupSendTaskDelegate* backupDelegate = nullptr;
};

class RecordingNotifier : public UserNotifier {
public:
    void post(const QString& title, const QString& body) override { posted << title + "|" + body; }
    QStringList posted;
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ExternalVolumes::setOverride(std::nullopt, QStringList {});
        QDir(TaskController::taskListFolder()).removeRecursively();
    }
    void TearDown() override
    {
        QSettings().remove("IsRunningOTB");
        ExternalVolumes::setOverride(std::nullopt, std::nullopt);
    }

    static QList<QWidget*> visibleContainers(ViewController& vc)
    {
        QList<QWidget*> shown;
        for (QWidget* c : vc.containers())
            if (c->isVisibleTo(&vc))
                shown << c;
        return shown;
    }
    static QStringList selectedTabs(ViewController& vc)
    {
        QStringList names;
        for (MyTabButton* b : tabButtons(vc))
            if (b->isSelected)
                names << b->objectName();
        return names;
    }
    static QList<bool> enabledTabs(ViewController& vc)
    {
        QList<bool> states;
        for (MyTabButton* b : tabButtons(vc))
            states << b->isEnabled();
        return states;
    }
};

TEST_F(MainWindow, TabsShowOneContainerAndHighlightTheirButton)
{
    ViewController vc;
    vc.show();
    EXPECT_EQ(selectedTabs(vc), QStringList { "MYDEVICE" }); // first showing, no tab chosen yet
    EXPECT_EQ(visibleContainers(vc), QList<QWidget*> { control<QWidget>(vc, "MyDeviceContainer") });
    vc.setTabsEnabled(true);

    const QList<QPair<MyTabButton*, QWidget*>> tabs {
        { control<MyTabButton>(vc, "BACKUP"), control<QWidget>(vc, "BackupContainer") },     { control<MyTabButton>(vc, "RESTORE"), control<QWidget>(vc, "RestoreContainer") },
        { control<MyTabButton>(vc, "SECURITY"), control<QWidget>(vc, "SecurityContainer") }, { control<MyTabButton>(vc, "OTB"), control<QWidget>(vc, "OTBContainer") },
        { control<MyTabButton>(vc, "CLOUDBACKUP"), control<QWidget>(vc, "CloudContainer") },       { control<MyTabButton>(vc, "MYDEVICE"), control<QWidget>(vc, "MyDeviceContainer") },
    };
    for (const auto& [button, container] : tabs) {
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(vc.CurrentTabName, button->objectName());
        EXPECT_EQ(selectedTabs(vc), QStringList { button->objectName() });
        EXPECT_EQ(visibleContainers(vc), QList<QWidget*> { container });
    }
    EXPECT_EQ(tabButtons(vc).size(), 6);
    EXPECT_EQ(tabButtons(vc)[4]->objectName(), "OTB");
}

TEST_F(MainWindow, TabsHaveThreeEnabledStates)
{
    ViewController vc;
    vc.otbPoller->setReader([] { return OtbPoller::Reading {}; });
    vc.show();
    // Off until the My Device page reports a drive, yet the page shown is still marked.
    EXPECT_EQ(enabledTabs(vc), QList<bool>(6, false));
    EXPECT_EQ(control<MyTabButton>(vc, "MYDEVICE")->backgroundColor(), MyTabButton::selectedColor());
    EXPECT_EQ(control<MyTabButton>(vc, "MYDEVICE")->titleColor(), MyTabButton::textColor());

    vc.setTabsEnabled(true);
    EXPECT_EQ(enabledTabs(vc), QList<bool>(6, true));
    EXPECT_FALSE(vc.otbPoller->isRunning());

    // A cloud download: only Cloud stays on, and "true" does not change that...
    vc.startCloudDownload({}, QString(), CloudLoginService::none);
    const QList<bool> cloudOnly { false, false, false, false, false, true };
    EXPECT_EQ(enabledTabs(vc), cloudOnly);
    EXPECT_EQ(visibleContainers(vc), QList<QWidget*> { control<QWidget>(vc, "CloudProgressContainer") });
    QSettings().setValue("IsRunningOTB", true);
    vc.setTabsEnabled(true);
    EXPECT_EQ(enabledTabs(vc), cloudOnly);
    EXPECT_TRUE(vc.otbPoller->isRunning()); // ...but one-touch polling still restarts

    // The download's "Done" brings the Cloud page back with every tab.
    vc.showCloudPage();
    EXPECT_EQ(enabledTabs(vc), QList<bool>(6, true));
    EXPECT_EQ(visibleContainers(vc), QList<QWidget*> { control<QWidget>(vc, "CloudContainer") });

    // No drive any more: everything off, cloud screens hidden, even during a download.
    vc.startCloudDownload({}, QString(), CloudLoginService::none);
    vc.setTabsEnabled(false);
    EXPECT_EQ(enabledTabs(vc), QList<bool>(6, false));
    EXPECT_FALSE(control<QWidget>(vc, "CloudContainer")->isVisibleTo(&vc));
    EXPECT_FALSE(control<QWidget>(vc, "CloudProgressContainer")->isVisibleTo(&vc));
    vc.setTabsEnabled(true);
    EXPECT_EQ(enabledTabs(vc), QList<bool>(6, true));
}

TEST_F(MainWindow, PagesAreMadeBySegueAndWiredToTheTaskLists)
{
    QPointer<FakeListPage> backup, restore;
    WindowFactory::registerWindow("BackupContainerSegue", [&](QWidget* p) { return backup = new FakeListPage(p); });
    WindowFactory::registerWindow("RestoreContainerSegue", [&](QWidget* p) { return restore = new FakeListPage(p); });
    {
        ViewController vc;
        ASSERT_TRUE(backup && restore);
        EXPECT_EQ(backup->embeddedIn, &vc);
        EXPECT_EQ(backup->backupDelegate, static_cast<BackupSendTaskDelegate*>(&vc));
        EXPECT_EQ(vc.page("BackupContainerSegue"), backup.data());
        EXPECT_TRUE(control<QWidget>(vc, "BackupContainer")->isAncestorOf(backup));
        EXPECT_EQ(vc.controller.BackupView, static_cast<TaskTablePage*>(backup.data()));
        EXPECT_EQ(vc.controller.OtbView, nullptr); // a placeholder lists nothing
        EXPECT_TRUE(qobject_cast<PlaceholderPage*>(vc.page("OTBContainerSegue")));
        EXPECT_TRUE(qobject_cast<PlaceholderPage*>(vc.page("CloudProgressContainerSegue")));
        EXPECT_TRUE(qobject_cast<PlaceholderPage*>(vc.page("CloudContainerSegue")));

        // Start-up with no task list: the folder and an empty list file are written, the
        // pages get the (empty) lists and My Device shows.
        vc.start();
        EXPECT_EQ(QFileInfo(TaskController::taskListPath()).size(), 16);
        EXPECT_EQ(backup->reloads, 1);
        EXPECT_EQ(restore->reloads, 1);
        EXPECT_EQ(visibleContainers(vc), QList<QWidget*> { control<QWidget>(vc, "MyDeviceContainer") });

        // A page's request goes to the dispatcher.
        backup->backupDelegate->runTask(
            TaskInfo::initWithValues("T", "", { "/s" }, "/d", {}, 1, "", "None", 0, 0, {}, {}, 1, 0, 0, 0, 0, 0, {}, false),
            "Add", true);
        ASSERT_EQ(backup->data.size(), 1);
        EXPECT_EQ(restore->data.size(), 1);
    }
    WindowFactory::registerWindow("BackupContainerSegue", {});
    WindowFactory::registerWindow("RestoreContainerSegue", {});
}

TEST_F(MainWindow, RunWindowsAndNotifications)
{
    ViewController vc;
    RecordingNotifier notifier;
    vc.setUserNotifier(&notifier);
    vc.showUserNotification("Task Started", "\"A\" is started by scheduler");
    EXPECT_EQ(notifier.posted, QStringList { "Task Started|\"A\" is started by scheduler" });

    auto task = TaskInfo::initWithValues("A", "", {}, "/d", {}, 1, "", "None", 0, 0, {}, {}, 0, 0, 0, 0, 0, 0, {}, false);
    auto sheet = vc.presentProgressSheet(task, "Backup", "ic_log_backup", "Backup Processing...");
    QPointer<ProgressView> view = dynamic_cast<ProgressView*>(sheet.get());
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->taskInfo, task);
    EXPECT_EQ(view->progressDelegate, static_cast<ProgressViewDelegate*>(&vc));
    EXPECT_EQ(control<QLabel>(view, "titleLabel")->text(), "Backup");
    view->cancelTask(); // Cancel reaches the task of the run
    EXPECT_TRUE(task->BackupRestoreCancel);
    EXPECT_FALSE(view->isVisible());
    vc.representProgressSheet(sheet);
    EXPECT_TRUE(view->isVisible());
    vc.dismissProgressSheet(sheet);
    EXPECT_FALSE(view->isVisible());
    sheet.reset(); // the last owner lets go: deleted on the GUI thread
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 5000));

    // The restore's password dialog: closing it without an answer drops the waiting restore.
    vc.controller.askRestorePassword(task);
    EXPECT_EQ(vc.controller.itemForDecryptRestore, task);
    QDialog* prompt = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("decPasswordView") && w->isVisible())
            prompt = qobject_cast<QDialog*>(w);
    }
    ASSERT_NE(prompt, nullptr);
    prompt->done(QDialog::Rejected);
    EXPECT_EQ(vc.controller.itemForDecryptRestore, nullptr);

    // No password dialog available: the encrypted restore is not left waiting.
    vc.makeRestorePasswordDialog = nullptr;
    vc.controller.askRestorePassword(task);
    EXPECT_EQ(vc.controller.itemForDecryptRestore, nullptr);
}

TEST_F(MainWindow, ShowingReportsNewProductsThenTheSystem)
{
    auto sink = std::make_shared<RecordingSink>();
    GoogleReporter::shared().setSink(sink);
    QFile::remove(UsbDeviceTracker::modelListPath());
    {
        ViewController vc;
        PageRegistry::attachUsbWatcher(vc);
        vc.start();
        ASSERT_TRUE(vc.usbTracker);
        UsbDeviceInfo drive;
        drive.syspath = "/sys/devices/usb9/9-1";
        drive.name = "Tessaro 2";
        drive.vendorId = drive.productId = 1;
        vc.usbTracker->deviceAdded(drive);
        vc.show();
        vc.hide();
        vc.show();
    }
    GoogleReporter::shared().setSink(nullptr);
    QFile::remove(UsbDeviceTracker::modelListPath());
    const QString os = "User OS Version|Linux - " + QSysInfo::productVersion() + "|";
    EXPECT_EQ(sink->events, (QStringList { "Used Product|tessaro 2|", os, os }));
}

TEST_F(MainWindow, ARunBlocksItsWindowButNotTheTrayOrTheQuitShortcut)
{
    ViewController vc;
    EXPECT_FALSE(vc.windowFlags() & Qt::WindowMaximizeButtonHint);
    auto* quit = new QAction("Quit", &vc);
    vc.addAction(quit);
    vc.setTabsEnabled(true);
    vc.show();
    QWidget tray; // stands in for the tray icon's own window
    auto* trayButton = new QPushButton("menu", &tray);
    tray.show();
    QSignalSpy trayClicks(trayButton, &QPushButton::clicked);
    EXPECT_FALSE(vc.hasRunningWork());

    auto task = TaskInfo::initWithValues("A", "", {}, "/d", {}, 1, "", "None", 0, 0, {}, {}, 0, 0, 0, 0, 0, 0, {}, false);
    auto sheet = vc.presentProgressSheet(task, "Backup", "ic_log_backup", "Backup Processing...");
    auto* view = dynamic_cast<ProgressView*>(sheet.get());
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(vc.hasRunningWork());
    EXPECT_TRUE(view->actions().contains(quit));
    // Through the window system, where modality decides who gets the click.
    const auto clickThroughWindow = [](QWidget* target) {
        QTest::mouseClick(target->window()->windowHandle(), Qt::LeftButton, {},
                          target->mapTo(target->window(), target->rect().center()));
    };
    clickThroughWindow(trayButton);
    EXPECT_EQ(trayClicks.count(), 1);
    clickThroughWindow(control<MyTabButton>(vc, "BACKUP")); // no second run from the blocked window
    EXPECT_NE(vc.CurrentTabName, "BACKUP");

    vc.dismissProgressSheet(sheet);
    EXPECT_FALSE(vc.hasRunningWork());
}

} // namespace
