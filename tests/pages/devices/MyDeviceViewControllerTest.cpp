#include "Controls.h"
#include "MyDeviceViewController.h"

#include "../../platform/usb/FakeSystemTree.h"
#include "MainTagBtn.h"
#include "MessagePresenter.h"
#include "MyDeviceSendTaskDelegate.h"
#include "UtilityFunctions.h"

#include <QDesktopServices>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class FakeMainWindow : public QObject, public MyDeviceSendTaskDelegate {
public:
    QStringList calls;
    void setTabsEnabled(bool enabled) override { calls << (enabled ? "enabled" : "disabled"); }
    void selectMyDeviceTab() override { calls << "select"; }
};

class RecordingPresenter : public MessagePresenter {
public:
    QList<MessageRequest> shown;
    void present(QObject*, const MessageRequest& request, messageViewDelegate*) override { shown << request; }
};

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

class MyDeviceViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override { UtilityFunctions::setMessagePresenter(&presenter); }
    void TearDown() override { UtilityFunctions::setMessagePresenter(nullptr); }

    void refreshAndWait(MyDeviceViewController& page)
    {
        QSignalSpy done(page.discovery(), &DriveDiscovery::finished);
        page.refreshDeviceList(9);
        ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() == 1; }, 10000));
    }

    RecordingPresenter presenter;
    FakeMainWindow window;
};

} // namespace

TEST_F(MyDeviceViewControllerTest, OneTabPerVolumeFirstSelected)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    MyDeviceViewController page;
    page.embed(&window);
    page.setSystemRoots(tree.roots());
    page.resize(900, 480);
    refreshAndWait(page);

    ASSERT_EQ(page.tabs().size(), 2);
    EXPECT_EQ(page.tabs().at(0)->text(), QStringLiteral("ZORVI DISK"));
    EXPECT_EQ(page.tabs().at(1)->text(), QStringLiteral("BACKUP"));
    EXPECT_TRUE(page.tabs().at(0)->hasSelectedLook());
    EXPECT_FALSE(page.tabs().at(1)->hasSelectedLook());
    EXPECT_TRUE(control<QWidget>(page, "myDeviceView")->isVisibleTo(&page));
    EXPECT_FALSE(control<QWidget>(page, "noneDeviceView")->isVisibleTo(&page));
    EXPECT_EQ(window.calls, QStringList{"enabled"});
    EXPECT_EQ(page.currentDeviceID(), QStringLiteral("sdb1"));
    EXPECT_EQ(control<QLabel>(page, "pathLabel")->text(), tree.path(QStringLiteral("media/ZORVI DISK")));
    EXPECT_EQ(control<QLabel>(page, "deviceTypeLabel")->text(), QStringLiteral("Morvantek"));
    EXPECT_EQ(page.deviceImageName(), QStringLiteral("img_device_QV_SSD"));
    EXPECT_TRUE(control<QLabel>(page, "spaceLabel")->text().startsWith(QStringLiteral("Free Space ")));
    EXPECT_FALSE(control<QLabel>(page, "NFTSLabel")->isVisibleTo(&page));

    page.tabs().at(1)->click();
    EXPECT_FALSE(page.tabs().at(0)->hasSelectedLook());
    EXPECT_TRUE(page.tabs().at(1)->hasSelectedLook());
    EXPECT_EQ(page.currentDeviceID(), QStringLiteral("sdb2"));
    EXPECT_EQ(control<QLabel>(page, "pathLabel")->text(), tree.path(QStringLiteral("media/BACKUP")));
    EXPECT_TRUE(control<QPushButton>(page, "reloadBtn")->isVisibleTo(&page));

    if (qEnvironmentVariableIsSet("ZORVI_SCREENSHOTS"))
        page.grab().save(QStringLiteral("/tmp/devices-mydevice.png"));
}

TEST_F(MyDeviceViewControllerTest, EmptyStateDisablesTabsAndSelectsMyDevice)
{
    FakeSystemTree tree; // no USB devices at all
    MyDeviceViewController page;
    page.embed(&window);
    page.setSystemRoots(tree.roots());
    refreshAndWait(page);

    EXPECT_TRUE(page.tabs().isEmpty());
    EXPECT_TRUE(control<QWidget>(page, "noneDeviceView")->isVisibleTo(&page));
    EXPECT_FALSE(control<QWidget>(page, "myDeviceView")->isVisibleTo(&page));
    EXPECT_EQ(control<QLabel>(page, "noneDeviceTitle")->text(), QStringLiteral("Please connect to a Morvantek storage device first."));
    EXPECT_EQ(window.calls, (QStringList{"disabled", "select"}));
    EXPECT_TRUE(page.deviceArray().isEmpty());
    if (qEnvironmentVariableIsSet("ZORVI_SCREENSHOTS"))
        page.grab().save(QStringLiteral("/tmp/devices-empty.png"));
}

TEST_F(MyDeviceViewControllerTest, EjectFailureShowsTheErrorAndKeepsTheList)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    MyDeviceViewController page;
    page.setSystemRoots(tree.roots());
    refreshAndWait(page);
    QStringList asked;
    page.setEjector([&](const QString& id, std::function<void(bool, const QString&)> done) {
        asked << id;
        QTimer::singleShot(0, [done] { done(false, QStringLiteral("Target is busy")); });
    });

    page.ejectDevice();
    EXPECT_FALSE(control<QPushButton>(page, "ejectBtn")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !presenter.shown.isEmpty(); }, 5000));
    EXPECT_EQ(asked, QStringList{QStringLiteral("sdb1")});
    EXPECT_EQ(presenter.shown.at(0).title, QStringLiteral("Information"));
    EXPECT_EQ(presenter.shown.at(0).imageName, QStringLiteral("ic_log_fail"));
    EXPECT_EQ(presenter.shown.at(0).message, QStringLiteral("Target is busy"));
    EXPECT_FALSE(presenter.shown.at(0).showSecondBtn);
    EXPECT_TRUE(control<QPushButton>(page, "ejectBtn")->isEnabled());
    EXPECT_FALSE(page.discovery()->isBusy());
    EXPECT_EQ(page.tabs().size(), 2);
}

TEST_F(MyDeviceViewControllerTest, EjectSuccessRefreshesWithoutRetries)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    MyDeviceViewController page;
    page.setSystemRoots(tree.roots());
    refreshAndWait(page);
    page.setDeviceShouldHave(5);
    QSignalSpy passes(page.discovery(), &DriveDiscovery::passFinished);
    QSignalSpy done(page.discovery(), &DriveDiscovery::finished);
    page.setEjector([&](const QString&, std::function<void(bool, const QString&)> finish) {
        tree.write(QStringLiteral("mountinfo"), QString()); // the volumes are gone
        QTimer::singleShot(0, [finish] { finish(true, QString()); });
    });

    page.ejectDevice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() == 1; }, 10000));
    EXPECT_EQ(passes.count(), 1);
    EXPECT_TRUE(presenter.shown.isEmpty());
    EXPECT_TRUE(page.tabs().isEmpty());
    EXPECT_TRUE(control<QWidget>(page, "noneDeviceView")->isVisibleTo(&page));
}

TEST_F(MyDeviceViewControllerTest, OpenUsesTheRealMountPoint)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    MyDeviceViewController page;
    page.setSystemRoots(tree.roots());
    refreshAndWait(page);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");

    control<QPushButton>(page, "openBtn")->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls.at(0).toLocalFile(), tree.path(QStringLiteral("media/ZORVI DISK")));
    EXPECT_TRUE(presenter.shown.isEmpty());

    // No file manager: the user is told which folder could not be opened.
    page.setUrlOpener([](const QUrl&) { return false; });
    control<QPushButton>(page, "openBtn")->click();
    ASSERT_EQ(presenter.shown.size(), 1);
    EXPECT_EQ(presenter.shown.at(0).title, QStringLiteral("Error"));
    EXPECT_TRUE(presenter.shown.at(0).message.contains(tree.path(QStringLiteral("media/ZORVI DISK"))));
}

TEST_F(MyDeviceViewControllerTest, ProductLinePictureAndNtfsLabel)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    const QString drive = QStringLiteral("sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1.2/manufacturer");
    const QString folder = tree.mountFolder(QStringLiteral("WIN"));
    tree.write(QStringLiteral("mountinfo"),
               QStringLiteral("40 25 8:17 / %1 rw - ntfs3 /dev/sdb1 rw\n").arg(FakeSystemTree::escape(folder)));
    MyDeviceViewController page;
    page.setSystemRoots(tree.roots());

    tree.write(drive, QStringLiteral("Velkan\n"));
    refreshAndWait(page);
    ASSERT_EQ(page.tabs().size(), 1);
    EXPECT_EQ(page.deviceImageName(), QStringLiteral("img_device_KD"));
    EXPECT_TRUE(control<QLabel>(page, "NFTSLabel")->isVisibleTo(&page));

    tree.write(drive, QStringLiteral("VELKAN\n")); // the picture word is matched case and all
    refreshAndWait(page);
    EXPECT_EQ(page.deviceImageName(), QStringLiteral("img_device_QV_SSD"));
}

#include "MyDeviceViewControllerTest.moc"
