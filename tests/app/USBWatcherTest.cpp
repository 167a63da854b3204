#include "RecordingSink.h"
#include "USBWatcher.h"
#include "UsbDeviceTracker.h"

#include "AnalyticsSink.h"
#include "DeviceListPage.h"
#include "GoogleReporter.h"
#include "USBWatcherDelegate.h"
#include "UdevUsbMonitor.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class FakePage : public QObject, public DeviceListPage {
public:
    QList<QPair<int, int>> refreshes; // (deviceShouldHave, tag)
    int should = -1;
    void setDeviceShouldHave(int count) override { should = count; }
    void refreshDeviceList(int senderTag) override { refreshes << qMakePair(should, senderTag); }
    QList<QMap<QString, QString>> deviceArray() const override { return {}; }
};

class RecordingDelegate : public USBWatcherDelegate {
public:
    QStringList calls;
    void deviceAdded(const UsbDeviceInfo& d) override { calls << "added " + d.syspath; }
    void deviceRemoved(const UsbDeviceInfo& d) override { calls << "removed " + d.syspath; }
};

UsbDeviceInfo usb(const QString& syspath, const QString& name, quint16 vendor, quint16 product)
{
    UsbDeviceInfo d;
    d.syspath = syspath;
    d.name = name;
    d.vendorId = vendor;
    d.productId = product;
    return d;
}

QString modelFile()
{
    QFile f(UsbDeviceTracker::modelListPath());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

class USBWatcherTest : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(UsbDeviceTracker::modelListPath()); }
    void TearDown() override { QFile::remove(UsbDeviceTracker::modelListPath()); }
};

} // namespace

TEST_F(USBWatcherTest, CountsEachMakerDeviceOnceAndRefreshesWithTheirTags)
{
    FakePage page;
    UsbDeviceTracker tracker;
    tracker.setDeviceListPage(&page);
    int stops = 0;
    tracker.setStopOtbPolling([&] { ++stops; });

    const UsbDeviceInfo drive = usb("/sys/devices/usb1/1-2", "Bridge", 0x4d5a, 0x7000);
    tracker.deviceAdded(drive);
    tracker.deviceAdded(drive); // reported again: still one
    tracker.deviceAdded(usb("/sys/devices/usb1/1-3", "Keyboard", 0x1234, 0x5678));
    tracker.deviceAdded(usb("/sys/devices/usb1/1-4", "Velkan Go", 0x1111, 0x2222));
    EXPECT_EQ(tracker.usbShouldConnected(), 2);
    EXPECT_EQ(stops, 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.refreshes.size() == 4; }, 5000));
    for (const auto& r : page.refreshes)
        EXPECT_EQ(r, qMakePair(2, 0));

    page.refreshes.clear();
    tracker.deviceRemoved(drive);
    tracker.deviceRemoved(drive); // a repeated removal cannot go below the truth
    tracker.deviceRemoved(usb("/sys/devices/usb1/1-3", "Keyboard", 0x1234, 0x5678));
    EXPECT_EQ(tracker.usbShouldConnected(), 1);
    EXPECT_EQ(stops, 7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.refreshes.size() == 3; }, 5000));
    for (const auto& r : page.refreshes)
        EXPECT_EQ(r, qMakePair(1, 9));
}

TEST_F(USBWatcherTest, RefreshIsSkippedWhenThePageIsGone)
{
    auto* page = new FakePage;
    UsbDeviceTracker tracker;
    tracker.setDeviceListPage(page);
    QSignalSpy refreshed(&tracker, &UsbDeviceTracker::refreshed);
    tracker.deviceRemoved(usb("/sys/x", "Zorvi", 0, 0));
    delete page;
    // The removal's refresh falls due without a page to call.
    ASSERT_TRUE(refreshed.wait(5000));
    EXPECT_EQ(refreshed.at(0), (QList<QVariant> { 0, UsbDeviceTracker::kRemovalTag }));
    EXPECT_EQ(tracker.usbShouldConnected(), 0);
}

TEST_F(USBWatcherTest, ModelNamesRecordedOncePerWholeLine)
{
    UsbDeviceTracker tracker;
    tracker.deviceAdded(usb("/sys/a", "Zorvi Pro Max", 1, 1));
    tracker.deviceAdded(usb("/sys/b", "ZORVI PRO", 1, 2));      // inside the longer name, still new
    tracker.deviceAdded(usb("/sys/c", "zorvi pro max", 1, 3));  // seen already
    tracker.deviceAdded(usb("/sys/d", "Zorvi\nEvil", 1, 4));     // cannot forge a line
    tracker.deviceAdded(usb("/sys/e", "Keyboard", 1, 5));
    tracker.deviceAdded(usb("/sys/f", QString(), 1, 6));

    EXPECT_EQ(modelFile(), QStringLiteral("zorvi pro max\nzorvi pro\nzorvievil\n"));
    EXPECT_EQ(tracker.modelList(),
              (QStringList{QStringLiteral("zorvi pro max"), QStringLiteral("zorvi pro"), QStringLiteral("zorvievil")}));

    // A later run finds them in the file and records nothing new.
    UsbDeviceTracker again;
    again.deviceAdded(usb("/sys/a", "Zorvi Pro Max", 1, 1));
    EXPECT_TRUE(again.modelList().isEmpty());
    EXPECT_EQ(modelFile().count(QLatin1Char('\n')), 3);
}

TEST_F(USBWatcherTest, MissingLastLineFeedDoesNotGlueNames)
{
    QDir().mkpath(QFileInfo(UsbDeviceTracker::modelListPath()).absolutePath());
    QFile f(UsbDeviceTracker::modelListPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("morvantek one");
    f.close();
    EXPECT_TRUE(UsbDeviceTracker::isModelRecorded(QStringLiteral("Morvantek One")));
    EXPECT_TRUE(UsbDeviceTracker::recordModel(QStringLiteral("morvantek two")));
    EXPECT_EQ(modelFile(), QStringLiteral("morvantek one\nmorvantek two\n"));
}

TEST_F(USBWatcherTest, UsedProductReportedOncePerNewModel)
{
    auto sink = std::make_shared<RecordingSink>();
    GoogleReporter::shared().setSink(sink);
    UsbDeviceTracker tracker;
    tracker.deviceAdded(usb("/sys/a", "Tessaro 2", 1, 1));
    tracker.reportUsedProducts();
    tracker.reportUsedProducts();
    tracker.deviceAdded(usb("/sys/b", "Brindle", 1, 2));
    tracker.reportUsedProducts();
    GoogleReporter::shared().setSink(nullptr);
    EXPECT_EQ(sink->events, (QStringList{QStringLiteral("Used Product|tessaro 2|"), QStringLiteral("Used Product|brindle|")}));
}

TEST_F(USBWatcherTest, WatcherForwardsMonitorEventsToItsDelegate)
{
    RecordingDelegate delegate;
    USBWatcher watcher(&delegate);
    Q_EMIT watcher.monitor()->deviceAdded(usb("/sys/a", "A", 1, 1));
    Q_EMIT watcher.monitor()->deviceRemoved(usb("/sys/a", "A", 1, 1));
    EXPECT_EQ(delegate.calls, (QStringList{QStringLiteral("added /sys/a"), QStringLiteral("removed /sys/a")}));
}
