// Runs under the umockdev preload library (see CMakeLists.txt): the testbed replaces
// /sys and delivers uevents to the monitor's netlink socket.
#include "UdevUsbMonitor.h"
#include "UsbLocationId.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <umockdev.h>

namespace {

class UdevUsbMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!qgetenv("LD_PRELOAD").contains("libumockdev-preload"))
            GTEST_SKIP() << "needs the umockdev preload library (run through ctest or umockdev-wrapper)";
        testbed = umockdev_testbed_new();
    }
    void TearDown() override
    {
        if (testbed)
            g_object_unref(testbed);
    }

    // The testbed announces a new device with an "add" uevent of its own.
    QString addUsbDevice(const char* name, const char* busnum, const char* devpath, const char* vendor,
                         const char* product, const char* productName, const char* manufacturer)
    {
        QList<const char*> attributes{"idVendor", vendor, "idProduct", product, "busnum", busnum,
                                      "devnum", "5", "devpath", devpath};
        if (productName)
            attributes << "product" << productName;
        if (manufacturer)
            attributes << "manufacturer" << manufacturer;
        attributes << nullptr;
        const char* properties[] = {"DEVTYPE", "usb_device", "ID_MODEL", "Model_From_Udev",
                                    "ID_VENDOR", "Vendor_From_Udev", nullptr};
        gchar* syspath = umockdev_testbed_add_devicev(testbed, "usb", name, nullptr,
                                                      const_cast<gchar**>(attributes.data()),
                                                      const_cast<gchar**>(properties));
        const QString path = QString::fromUtf8(syspath);
        g_free(syspath);
        return path;
    }

    UMockdevTestbed* testbed = nullptr;
};

} // namespace

TEST_F(UdevUsbMonitorTest, ReportsPresentDevicesThenArrivalsAndRemovalsOnce)
{
    const QString hub = addUsbDevice("1-1", "1", "1", "05e3", "0608", "USB2.0 Hub", "GenesysLogic");

    UdevUsbMonitor monitor;
    QSignalSpy added(&monitor, &UdevUsbMonitor::deviceAdded);
    QSignalSpy removed(&monitor, &UdevUsbMonitor::deviceRemoved);
    ASSERT_TRUE(monitor.start()) << monitor.errorString().toStdString();

    // The device present at start is reported before start() returns.
    ASSERT_EQ(added.count(), 1);
    const auto first = added.takeFirst().at(0).value<UsbDeviceInfo>();
    EXPECT_EQ(first.syspath, hub);
    EXPECT_EQ(first.name, QStringLiteral("USB2.0 Hub"));
    EXPECT_EQ(first.vendorName, QStringLiteral("GenesysLogic"));
    EXPECT_EQ(first.vendorId, 0x05e3);
    EXPECT_EQ(first.productId, 0x0608);
    EXPECT_EQ(first.locationId, 0x01100000u);

    // An arrival.
    const QString disk = addUsbDevice("1-2", "1", "2.3", "4d5a", "7000", "Zorvi Test Disk", "Morvantek");
    ASSERT_TRUE(QTest::qWaitFor([&] { return added.count() == 1; }));
    const auto arrived = added.takeFirst().at(0).value<UsbDeviceInfo>();
    EXPECT_EQ(arrived.syspath, disk);
    EXPECT_EQ(arrived.name, QStringLiteral("Zorvi Test Disk"));
    EXPECT_EQ(arrived.locationId, UsbLocationId::fromSysfs(1, QStringLiteral("2.3")));

    // Repeated arrivals and an interface's events change nothing; the removal after them
    // shows they were all consumed.
    umockdev_testbed_uevent(testbed, disk.toUtf8().constData(), "add");
    umockdev_testbed_uevent(testbed, hub.toUtf8().constData(), "add");
    const char* ifaceAttributes[] = {"bInterfaceClass", "08", nullptr};
    const char* ifaceProperties[] = {"DEVTYPE", "usb_interface", nullptr};
    gchar* iface = umockdev_testbed_add_devicev(testbed, "usb", "1-2:1.0", disk.toUtf8().constData(),
                                                const_cast<gchar**>(ifaceAttributes),
                                                const_cast<gchar**>(ifaceProperties));
    umockdev_testbed_uevent(testbed, iface, "remove");
    umockdev_testbed_remove_device(testbed, iface);
    g_free(iface);

    umockdev_testbed_uevent(testbed, disk.toUtf8().constData(), "remove");
    umockdev_testbed_remove_device(testbed, disk.toUtf8().constData());
    ASSERT_TRUE(QTest::qWaitFor([&] { return removed.count() == 1; }));
    EXPECT_EQ(added.count(), 0);
    // Named from what was known at arrival: sysfs no longer has it.
    const auto gone = removed.takeFirst().at(0).value<UsbDeviceInfo>();
    EXPECT_EQ(gone.syspath, disk);
    EXPECT_EQ(gone.name, QStringLiteral("Zorvi Test Disk"));
    EXPECT_EQ(gone.vendorName, QStringLiteral("Morvantek"));

    ASSERT_EQ(monitor.devices().size(), 1);
    EXPECT_EQ(monitor.devices().at(0).syspath, hub);

    // A removal seen twice, and one of a device already gone, count once.
    umockdev_testbed_uevent(testbed, hub.toUtf8().constData(), "remove");
    umockdev_testbed_uevent(testbed, hub.toUtf8().constData(), "remove");
    const QString late = addUsbDevice("3-1", "3", "1", "4d5a", "1000", "Late", "Morvantek");
    ASSERT_TRUE(QTest::qWaitFor([&] { return added.count() == 1; }));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).value<UsbDeviceInfo>().syspath, hub);
    ASSERT_EQ(monitor.devices().size(), 1);
    EXPECT_EQ(monitor.devices().at(0).syspath, late);
}

TEST_F(UdevUsbMonitorTest, NamesFallBackToUdevProperties)
{
    addUsbDevice("1-4", "1", "4", "4d5c", "5106", nullptr, nullptr);

    UdevUsbMonitor monitor;
    QSignalSpy added(&monitor, &UdevUsbMonitor::deviceAdded);
    ASSERT_TRUE(monitor.start());
    ASSERT_EQ(added.count(), 1);
    const auto info = added.at(0).at(0).value<UsbDeviceInfo>();
    EXPECT_EQ(info.name, QStringLiteral("Model_From_Udev"));
    EXPECT_EQ(info.vendorName, QStringLiteral("Vendor_From_Udev"));
}

TEST_F(UdevUsbMonitorTest, RestartReportsOnlyWhatChangedWhileStopped)
{
    const QString hub = addUsbDevice("1-1", "1", "1", "05e3", "0608", "Hub", "X");
    const QString disk = addUsbDevice("1-2", "1", "2", "4d5a", "7000", "Disk", "Morvantek");
    UdevUsbMonitor monitor;
    QSignalSpy added(&monitor, &UdevUsbMonitor::deviceAdded);
    QSignalSpy removed(&monitor, &UdevUsbMonitor::deviceRemoved);
    ASSERT_TRUE(monitor.start());
    ASSERT_TRUE(monitor.start());
    EXPECT_EQ(added.count(), 2);

    monitor.stop();
    EXPECT_FALSE(monitor.isRunning());
    umockdev_testbed_remove_device(testbed, disk.toUtf8().constData());
    const QString other = addUsbDevice("1-3", "1", "3", "1234", "5678", "Keyboard", "Keys");

    ASSERT_TRUE(monitor.start());
    ASSERT_EQ(added.count(), 3);
    EXPECT_EQ(added.at(2).at(0).value<UsbDeviceInfo>().syspath, other);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).value<UsbDeviceInfo>().syspath, disk);
    EXPECT_EQ(monitor.devices().size(), 2);
    Q_UNUSED(hub);
}
