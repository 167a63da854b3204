#include "FakeSystemTree.h"
#include "UsbDeviceReport.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

QVariantMap child(const QVariantMap& parent, int index)
{
    return parent.value(QStringLiteral("_items")).toList().value(index).toMap();
}

} // namespace

TEST(UsbDeviceReportTest, TreeOfRootHubHubAndMakerDriveWithItsVolumes)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    const QVariantList items = UsbDeviceReport(tree.roots()).items();

    ASSERT_EQ(items.size(), 1);
    const QVariantMap top = items.at(0).toMap();
    EXPECT_EQ(top.value(QStringLiteral("_dataType")).toString(), QStringLiteral("SPUSBDataType"));
    ASSERT_EQ(top.value(QStringLiteral("_items")).toList().size(), 1);

    // The root hub is a host-controller entry: no product or vendor id.
    const QVariantMap bus = child(top, 0);
    EXPECT_EQ(bus.value(QStringLiteral("_name")).toString(), QStringLiteral("xHCI Host Controller"));
    EXPECT_EQ(bus.value(QStringLiteral("host_controller")).toString(), QStringLiteral("xhci_hcd"));
    EXPECT_EQ(bus.value(QStringLiteral("pci_vendor")).toString(), QStringLiteral("0x8086"));
    EXPECT_FALSE(bus.contains(QStringLiteral("product_id")));
    EXPECT_FALSE(bus.contains(QStringLiteral("vendor_id")));
    ASSERT_EQ(bus.value(QStringLiteral("_items")).toList().size(), 2);

    const QVariantMap hub = child(bus, 0);
    EXPECT_EQ(hub.value(QStringLiteral("_name")).toString(), QStringLiteral("USB2.0 Hub"));
    EXPECT_EQ(hub.value(QStringLiteral("vendor_id")).toString(), QStringLiteral("0x05e3"));
    EXPECT_EQ(hub.value(QStringLiteral("location_id")).toString(), QStringLiteral("0x01100000 / 2"));
    EXPECT_FALSE(hub.contains(QStringLiteral("Media")));
    EXPECT_EQ(child(bus, 1).value(QStringLiteral("_name")).toString(), QStringLiteral("Keyboard"));

    const QVariantMap drive = child(hub, 0);
    EXPECT_EQ(drive.value(QStringLiteral("_name")).toString(), QStringLiteral("Zorvi Test Disk"));
    EXPECT_EQ(drive.value(QStringLiteral("manufacturer")).toString(), QStringLiteral("Morvantek"));
    EXPECT_EQ(drive.value(QStringLiteral("vendor_id")).toString(), QStringLiteral("0x4d5a"));
    EXPECT_EQ(drive.value(QStringLiteral("product_id")).toString(), QStringLiteral("0x7000"));
    EXPECT_EQ(drive.value(QStringLiteral("serial_num")).toString(), QStringLiteral("ZV0001"));
    EXPECT_EQ(drive.value(QStringLiteral("location_id")).toString(), QStringLiteral("0x01120000 / 3"));

    const QVariantList media = drive.value(QStringLiteral("Media")).toList();
    ASSERT_EQ(media.size(), 1);
    const QVariantMap medium = media.at(0).toMap();
    EXPECT_EQ(medium.value(QStringLiteral("bsd_name")).toString(), QStringLiteral("sdb"));
    EXPECT_EQ(medium.value(QStringLiteral("_name")).toString(), QStringLiteral("Test Disk"));
    EXPECT_EQ(medium.value(QStringLiteral("size_in_bytes")).toLongLong(), 62333952LL * 512);

    const QVariantList volumes = medium.value(QStringLiteral("volumes")).toList();
    ASSERT_EQ(volumes.size(), 2);
    const QVariantMap first = volumes.at(0).toMap();
    EXPECT_EQ(first.value(QStringLiteral("bsd_name")).toString(), QStringLiteral("sdb1"));
    EXPECT_EQ(first.value(QStringLiteral("_name")).toString(), QStringLiteral("ZORVI_DISK"));
    EXPECT_EQ(first.value(QStringLiteral("mount_point")).toString(), tree.path(QStringLiteral("media/ZORVI DISK")));
    EXPECT_EQ(first.value(QStringLiteral("file_system")).toString(), QStringLiteral("ExFAT"));
    const QVariantMap second = volumes.at(1).toMap();
    EXPECT_EQ(second.value(QStringLiteral("bsd_name")).toString(), QStringLiteral("sdb2"));
    EXPECT_EQ(second.value(QStringLiteral("_name")).toString(), QStringLiteral("BACKUP"));
    EXPECT_EQ(second.value(QStringLiteral("file_system")).toString(), QStringLiteral("MS-DOS FAT32"));
}

TEST(UsbDeviceReportTest, UnmountedVolumesAndUnreadableRootsStillGiveAReport)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    SystemRoots roots = tree.roots();
    roots.mountinfo = tree.path(QStringLiteral("missing"));
    const QVariantMap drive = UsbDeviceReport(roots).items().at(0).toMap()
                                  .value(QStringLiteral("_items")).toList().at(0).toMap()
                                  .value(QStringLiteral("_items")).toList().at(0).toMap()
                                  .value(QStringLiteral("_items")).toList().at(0).toMap();
    const QVariantList volumes = drive.value(QStringLiteral("Media")).toList().at(0).toMap()
                                     .value(QStringLiteral("volumes")).toList();
    ASSERT_EQ(volumes.size(), 2);
    EXPECT_FALSE(volumes.at(0).toMap().contains(QStringLiteral("mount_point")));
    // The type is still known from udev.
    EXPECT_EQ(volumes.at(0).toMap().value(QStringLiteral("file_system")).toString(), QStringLiteral("ExFAT"));

    roots.sysfs = tree.path(QStringLiteral("nothing"));
    const QVariantList empty = UsbDeviceReport(roots).items();
    ASSERT_EQ(empty.size(), 1);
    EXPECT_FALSE(empty.at(0).toMap().contains(QStringLiteral("_items")));
}

TEST(UsbDeviceReportTest, PlistIsWellFormedAndTyped)
{
    QVariantMap inner{{QStringLiteral("n"), qint64(5)}, {QStringLiteral("b"), true},
                      {QStringLiteral("s"), QStringLiteral("a<b&\x01" "c")}};
    const QByteArray xml = UsbDeviceReport::toPlist({inner});
    QXmlStreamReader reader(xml);
    QStringList elements;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            elements << reader.name().toString();
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(elements, (QStringList{"plist", "array", "dict", "key", "true", "key", "integer", "key", "string"}));
    EXPECT_TRUE(xml.contains("a&lt;b&amp;c"));
}
