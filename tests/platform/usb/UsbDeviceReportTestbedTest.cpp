// The generators on the real /sys path, with umockdev standing in for the kernel.
#include "DiskInfoReport.h"
#include "FakeSystemTree.h"
#include "UsbDeviceReport.h"

#include <gtest/gtest.h>

#include <umockdev.h>

TEST(UsbDeviceReportTestbedTest, RootHubHubAndMakerDiskWithAPartition)
{
    if (!qgetenv("LD_PRELOAD").contains("libumockdev-preload"))
        GTEST_SKIP() << "needs the umockdev preload library (run through ctest or umockdev-wrapper)";
    UMockdevTestbed* testbed = umockdev_testbed_new();

    gchar* root = umockdev_testbed_add_device(testbed, "usb", "usb2", nullptr, "product", "EHCI Host Controller",
                                              "idVendor", "1d6b", "idProduct", "0002", "busnum", "2", "devnum", "1",
                                              "devpath", "0", nullptr, "DEVTYPE", "usb_device", nullptr);
    gchar* hub = umockdev_testbed_add_device(testbed, "usb", "2-1", root, "product", "Hub", "idVendor", "05e3",
                                             "idProduct", "0608", "busnum", "2", "devnum", "2", "devpath", "1",
                                             nullptr, "DEVTYPE", "usb_device", nullptr);
    gchar* drive = umockdev_testbed_add_device(testbed, "usb", "2-1.4", hub, "product", "Zorvi Test Disk",
                                               "manufacturer", "Morvantek", "idVendor", "4d5c", "idProduct", "5106",
                                               "busnum", "2", "devnum", "7", "devpath", "1.4", nullptr,
                                               "DEVTYPE", "usb_device", nullptr);
    gchar* disk = umockdev_testbed_add_device(testbed, "block", "sdc", drive, "dev", "8:32", "size", "2048", nullptr,
                                              "DEVTYPE", "disk", nullptr);
    gchar* part = umockdev_testbed_add_device(testbed, "block", "sdc1", disk, "dev", "8:33", "size", "2000",
                                              "partition", "1", nullptr, "DEVTYPE", "partition", nullptr);

    FakeSystemTree fixture;
    const QString mountPoint = fixture.mountFolder(QStringLiteral("My Backup"));
    fixture.addMount(QStringLiteral("8:33"), mountPoint, QStringLiteral("vfat"), QStringLiteral("/dev/sdc1"));
    SystemRoots roots;
    roots.mountinfo = fixture.roots().mountinfo;
    roots.udevData = fixture.roots().udevData;

    const QVariantMap bus = UsbDeviceReport(roots).items().value(0).toMap().value("_items").toList().value(0).toMap();
    EXPECT_EQ(bus.value("_name").toString(), "EHCI Host Controller");
    EXPECT_TRUE(bus.contains("host_controller"));
    EXPECT_TRUE(bus.contains("pci_vendor"));
    const QVariantMap hubEntry = bus.value("_items").toList().value(0).toMap();
    EXPECT_EQ(hubEntry.value("_name").toString(), "Hub");
    const QVariantMap driveEntry = hubEntry.value("_items").toList().value(0).toMap();
    EXPECT_EQ(driveEntry.value("_name").toString(), "Zorvi Test Disk");
    EXPECT_EQ(driveEntry.value("location_id").toString(), "0x02140000 / 7");
    const QVariantMap volume = driveEntry.value("Media").toList().value(0).toMap().value("volumes").toList().value(0).toMap();
    EXPECT_EQ(volume.value("bsd_name").toString(), "sdc1");
    EXPECT_EQ(volume.value("mount_point").toString(), mountPoint);

    const QString info = DiskInfoReport(roots).info("sdc1");
    EXPECT_TRUE(info.contains("Mount Point:               " + mountPoint + "\n")) << info.toStdString();
    EXPECT_TRUE(info.contains("File System Personality:   MS-DOS FAT32\n"));

    for (gchar* p : {root, hub, drive, disk, part})
        g_free(p);
    g_object_unref(testbed);
}
