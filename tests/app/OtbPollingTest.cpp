// The one-touch button as the main window handles it: presses read on the polling thread,
// bound tasks, the My Device page's drives and the One-Touch Backup page's wizard.
#include "RecordingSink.h"
#include "ViewController.h"

#include "DeviceListPage.h"
#include "DispatchQueue.h"
#include "EmbeddedPage.h"
#include "ExternalVolumes.h"
#include "GoogleReporter.h"
#include "MessageWindowPresenter.h"
#include "OtbButtonPage.h"
#include "OtbPoller.h"
#include "TestFiles.h"
#include "UsbLocationId.h"
#include "WindowFactory.h"
#include "messageView.h"

#include <QApplication>
#include <QDir>
#include <QMutex>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const quint32 kDrive = UsbLocationId::fromPorts(2, { 1, 4 });
const quint32 kOtherDrive = UsbLocationId::fromPorts(3, { 2 });
// Where the interval is not what a test checks, polls follow each other quickly.
constexpr int kQuickPollMs = 20;

class FakeOtbPage : public QWidget, public OtbButtonPage {
public:
    using QWidget::QWidget;
    void setTableData(const QList<TaskInfoPtr>&) override {}
    void reloadTaskTable() override {}
    void viewDidLoad() override { ++loads; }
    bool otbButtonPressed() override
    {
        ++presses;
        return !waitingForPress;
    }
    void setOtbAccessProblem(const QString& text) override { problem = text; }
    bool waitingForPress = false;
    int presses = 0;
    int loads = 0;
    QString problem = QStringLiteral("<none>");
};

class FakeDevicePage : public QWidget, public DeviceListPage {
public:
    using QWidget::QWidget;
    void setDeviceShouldHave(int) override {}
    void refreshDeviceList(int) override {}
    QList<QMap<QString, QString>> deviceArray() const override { return devices; }
    QList<QMap<QString, QString>> devices { { { "location", UsbLocationId::toText(kDrive) } } };
};

// What the drives answer, one reading per poll, the last repeated.
class ScriptedDrives {
public:
    void script(QList<OtbPoller::Reading> readings)
    {
        QMutexLocker lock(&mutex_);
        readings_ = std::move(readings);
        polls_ = 0;
    }
    OtbPoller::Reading next()
    {
        QMutexLocker lock(&mutex_);
        ++polls_;
        if (readings_.size() > 1)
            return readings_.takeFirst();
        return readings_.value(0);
    }
    int polls()
    {
        QMutexLocker lock(&mutex_);
        return polls_;
    }
    static OtbPoller::Reading slots(std::initializer_list<std::pair<qint32, quint32>> answering)
    {
        OtbPoller::Reading r;
        std::fill(std::begin(r.status), std::end(r.status), 7);
        int i = 0;
        for (const auto& [status, id] : answering) {
            r.status[i] = status;
            r.locationID[i++] = qint32(id);
        }
        return r;
    }

private:
    QMutex mutex_;
    QList<OtbPoller::Reading> readings_;
    int polls_ = 0;
};

class OtbPolling : public ::testing::Test {
protected:
    void SetUp() override
    {
        ExternalVolumes::setOverride(std::nullopt, QStringList {});
        QDir(TaskController::taskListFolder()).removeRecursively();
        MessageWindowPresenter::install();
        WindowFactory::registerWindow("OTBContainerSegue", [this](QWidget* p) { return otbPage = new FakeOtbPage(p); });
        WindowFactory::registerWindow("MyDeviceContainerSegue",
                                      [this](QWidget* p) { return devicePage = new FakeDevicePage(p); });
        GoogleReporter::shared().setSink(sink);
        vc = std::make_unique<ViewController>();
        vc->otbPoller->setReader([this] { return drives.next(); });
        vc->start();
    }
    void TearDown() override
    {
        vc.reset();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<messageView*>(w))
                delete w;
        GoogleReporter::shared().setSink(nullptr);
        WindowFactory::registerWindow("OTBContainerSegue", {});
        WindowFactory::registerWindow("MyDeviceContainerSegue", {});
        for (const char* key : { "IsRunningOTB", "RunningOTBTask", "RunningOTBDevice" })
            QSettings().remove(key);
        ExternalVolumes::setOverride(std::nullopt, std::nullopt);
    }

    // A plain-copy task of one small folder, added and bound to the button.
    TaskInfoPtr addBoundTask(const QString& name)
    {
        const QString src = dir.path() + "/" + name;
        QDir().mkpath(src);
        writeFile(src + "/a.txt", "alpha");
        QDir().mkpath(dir.path() + "/dest");
        auto task = TaskInfo::initWithValues(name, "", { src }, dir.path() + "/dest", { "0" }, 1, "", "None", 0, 0, {},
                                             {}, 0, 0, 5, 1, 0, 0, {}, false);
        vc->controller.runTask(task, "Add", true);
        vc->otbAction(task, "OtbChange");
        return vc->controller.findTask(name);
    }
    int runsStarted() const { return int(sink->events.count("OTB Action|M1 OTB|")); }
    // Waits for the next reading and for everything it handed to the GUI thread: a block on
    // the polling queue runs once that poll is over, and queues a marker behind its presses.
    bool waitForNextPoll()
    {
        const int start = drives.polls();
        if (!QTest::qWaitFor([&] { return drives.polls() > start; }, 5000))
            return false;
        auto done = std::make_shared<bool>(false);
        DispatchQueue::serial(QStringLiteral("com.domain.app.otbTimer")).async([done] {
            DispatchQueue::main().async([done] { *done = true; });
        });
        return QTest::qWaitFor([done] { return *done; }, 5000);
    }

    QTemporaryDir dir;
    ScriptedDrives drives;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    FakeOtbPage* otbPage = nullptr;
    FakeDevicePage* devicePage = nullptr;
    std::unique_ptr<ViewController> vc;
};

} // namespace

TEST_F(OtbPolling, AHeldPressRunsTheBoundTaskOnceAndASecondPressDuringTheRunStartsNothing)
{
    addBoundTask("Docs");
    EXPECT_EQ(otbPage->loads, 1);
    const auto released = ScriptedDrives::slots({ { 6, kDrive } });
    const auto pressed = ScriptedDrives::slots({ { 5, kDrive } });
    drives.script({ released, pressed, pressed, pressed, pressed });
    vc->otbAction(nullptr, "StartOTB");
    ASSERT_TRUE(QTest::qWaitFor([&] { return runsStarted() == 1; }, 5000));
    // The press stopped the polling for the run.
    EXPECT_FALSE(vc->otbPoller->isRunning());
    // The plain copy keeps each source's full path inside the task folder.
    const QString copied = dir.path() + "/dest/Docs" + dir.path() + "/Docs/a.txt";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(copied); }, 30000));

    // Polling again while the button is still held: nothing more runs, neither at the restart
    // nor at the next poll.
    vc->startOtbTimer(kQuickPollMs);
    ASSERT_TRUE(waitForNextPoll());
    ASSERT_TRUE(waitForNextPoll());
    EXPECT_EQ(runsStarted(), 1);
    EXPECT_EQ(otbPage->presses, 1);

    // A new press while the task runs is refused by the run path, and polling goes on.
    ASSERT_TRUE(vc->controller.checkFilesInUse(vc->controller.findTask("Docs")));
    drives.script({ released, pressed });
    ASSERT_TRUE(QTest::qWaitFor([&] { return otbPage->presses == 2; }, 5000));
    EXPECT_EQ(runsStarted(), 1);
    EXPECT_TRUE(vc->otbPoller->isRunning());
    vc->controller.removeExecutingTask(vc->controller.findTask("Docs"));
}

TEST_F(OtbPolling, PressesThatRunNothing)
{
    addBoundTask("Docs");
    // A drive the My Device page does not list.
    vc->runOtbBackup(kOtherDrive);
    EXPECT_EQ(otbPage->presses, 0);
    // The wizard waiting for its confirming press takes it.
    otbPage->waitingForPress = true;
    vc->startOtbTimer(300);
    vc->runOtbBackup(kDrive);
    EXPECT_EQ(otbPage->presses, 1);
    EXPECT_TRUE(vc->otbPoller->isRunning());
    // No task bound: the press ends after stopping the polling.
    otbPage->waitingForPress = false;
    vc->otbAction(nullptr, "DisableAll");
    vc->startOtbTimer(300);
    vc->runOtbBackup(kOtherDrive);
    EXPECT_EQ(otbPage->presses, 2);
    EXPECT_FALSE(vc->otbPoller->isRunning());
    EXPECT_EQ(runsStarted(), 0);
}

TEST_F(OtbPolling, BindingAndSwitchingOff)
{
    addBoundTask("A");
    addBoundTask("B");
    auto bound = [&] {
        QStringList names;
        for (const TaskInfoPtr& t : vc->controller.TaskArray)
            if (t->isOtbChecked == 1)
                names << t->taskName;
        return names;
    };
    EXPECT_EQ(bound(), QStringList { "B" });
    auto stranger = TaskInfo::init();
    stranger->taskName = "Nobody";
    vc->otbAction(stranger, "OtbChange");
    vc->otbAction(nullptr, "OtbChange");
    vc->otbAction(stranger, "Unknown");
    EXPECT_EQ(bound(), QStringList { "B" });

    // The binding is saved with the list.
    {
        TaskController reader;
        const QList<TaskInfoPtr> saved = reader.loadTaskList();
        ASSERT_EQ(saved.size(), 2);
        EXPECT_EQ(saved[1]->isOtbChecked, 1);
        for (const TaskInfoPtr& t : saved)
            t->stopScheduleTimer();
    }

    QSettings().setValue("RunningOTBTask", "B");
    QSettings().setValue("RunningOTBDevice", "Zorvi One");
    QSettings().setValue("IsRunningOTB", true);
    vc->otbAction(nullptr, "StartOTB");
    EXPECT_TRUE(vc->otbPoller->isRunning());
    vc->otbAction(nullptr, "DisableAll");
    EXPECT_TRUE(bound().isEmpty());
    EXPECT_FALSE(vc->otbPoller->isRunning());
    EXPECT_FALSE(QSettings().contains("RunningOTBTask"));
    EXPECT_FALSE(QSettings().contains("RunningOTBDevice"));
    EXPECT_FALSE(QSettings().value("IsRunningOTB").toBool());
}

TEST_F(OtbPolling, APressInTwoSlotsAndADriveWithoutPermission)
{
    // Two drives pressed in one poll reach the main window one after the other.
    devicePage->devices << QMap<QString, QString> { { "location", UsbLocationId::toText(kOtherDrive) } };
    otbPage->waitingForPress = true;
    drives.script({ ScriptedDrives::slots({ { 5, kDrive }, { 5, kOtherDrive } }) });
    vc->startOtbTimer(kQuickPollMs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return otbPage->presses == 2; }, 5000));

    // A maker drive that cannot be opened is reported once; another vendor's is not.
    QSignalSpy problems(vc->otbPoller, &OtbPoller::accessProblemChanged);
    OtbPoller::Reading denied = ScriptedDrives::slots({});
    UsbDeviceEntry keyboard;
    keyboard.vendorId = 0x046d;
    denied.unopened << keyboard;
    drives.script({ denied });
    ASSERT_TRUE(waitForNextPoll());
    EXPECT_EQ(problems.count(), 0);
    UsbDeviceEntry drive;
    drive.vendorId = 0x4d5c;
    denied.unopened << drive;
    drives.script({ denied });
    ASSERT_TRUE(problems.count() == 1 || problems.wait(5000));
    EXPECT_EQ(otbPage->problem, OtbPoller::accessProblemText());
    drives.script({ ScriptedDrives::slots({ { 6, kDrive } }) });
    ASSERT_TRUE(QTest::qWaitFor([&] { return problems.count() == 2; }, 5000));
    EXPECT_TRUE(otbPage->problem.isEmpty());
}
