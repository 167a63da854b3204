// The watcher, the tracker and the page against a umockdev testbed: real uevents through
// libudev, each device counted once.
#include "MyDeviceViewController.h"
#include "USBWatcher.h"
#include "USBWatcherDelegate.h"
#include "UsbDeviceTracker.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <umockdev.h>

namespace {

class TrackingWindow : public QObject, public USBWatcherDelegate {
public:
    UsbDeviceTracker tracker;
    QStringList events;
    void deviceAdded(const UsbDeviceInfo& d) override { events << "added " + d.name; tracker.deviceAdded(d); }
    void deviceRemoved(const UsbDeviceInfo& d) override { events << "removed " + d.name; tracker.deviceRemoved(d); }
};

QString addUsb(UMockdevTestbed* testbed, const char* name, const char* parent, const char* devpath, const char* vendor,
               const char* product, const char* productName)
{
    gchar* path = umockdev_testbed_add_device(testbed, "usb", name, parent, "idVendor", vendor, "idProduct", product,
                                              "busnum", "1", "devnum", "4", "devpath", devpath, "product", productName,
                                              nullptr, "DEVTYPE", "usb_device", nullptr);
    const QString out = QString::fromUtf8(path);
    g_free(path);
    return out;
}

} // namespace

TEST(UsbTrackingTestbedTest, ArrivalsAndRemovalsCountEachMakerDeviceOnce)
{
    if (!qgetenv("LD_PRELOAD").contains("libumockdev-preload"))
        GTEST_SKIP() << "needs the umockdev preload library (run through ctest or umockdev-wrapper)";
    QFile::remove(UsbDeviceTracker::modelListPath());
    UMockdevTestbed* testbed = umockdev_testbed_new();
    const QString root = addUsb(testbed, "usb1", nullptr, "0", "1d6b", "0002", "xHCI Host Controller");
    addUsb(testbed, "1-1", root.toUtf8().constData(), "1", "05e3", "0608", "USB2.0 Hub");
    const QString first = addUsb(testbed, "1-2", root.toUtf8().constData(), "2", "4d5a", "7000", "Zorvi Test Disk");

    TrackingWindow window;
    MyDeviceViewController page; // the testbed has no block devices: it finds no volume
    page.discovery()->setRetryInterval(1);
    window.tracker.setDeviceListPage(&page);
    USBWatcher watcher(&window);
    ASSERT_TRUE(watcher.start()) << watcher.errorString().toStdString();
    EXPECT_EQ(window.events.size(), 3);
    EXPECT_EQ(window.tracker.usbShouldConnected(), 1);

    const QString second = addUsb(testbed, "1-3", root.toUtf8().constData(), "3", "1234", "0001", "Velkan Go");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.tracker.usbShouldConnected() == 2; }, 5000));
    umockdev_testbed_uevent(testbed, second.toUtf8().constData(), "add"); // repeated
    umockdev_testbed_uevent(testbed, first.toUtf8().constData(), "remove");
    umockdev_testbed_remove_device(testbed, first.toUtf8().constData());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.events.contains("removed Zorvi Test Disk"); }, 5000));
    umockdev_testbed_uevent(testbed, first.toUtf8().constData(), "remove"); // seen twice
    EXPECT_EQ(window.tracker.usbShouldConnected(), 1);
    EXPECT_EQ(window.tracker.modelList(),
              (QStringList{QStringLiteral("zorvi test disk"), QStringLiteral("velkan go")}));

    // The delayed refreshes reach the page with the maker count.
    QSignalSpy finished(page.discovery(), &DriveDiscovery::finished);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() >= 1 && !page.discovery()->isBusy(); }, 30000));
    EXPECT_EQ(page.discovery()->deviceShouldHave(), 1);
    EXPECT_TRUE(page.tabs().isEmpty());

    g_object_unref(testbed);
}
