#include "DriveDiscovery.h"

#include "../../platform/usb/FakeSystemTree.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QVariantMap device(const QString& name, const QString& product, const QString& vendor, const QVariantList& children = {})
{
    QVariantMap m{{QStringLiteral("_name"), name}, {QStringLiteral("product_id"), product},
                  {QStringLiteral("vendor_id"), vendor}};
    if (!children.isEmpty())
        m.insert(QStringLiteral("_items"), children);
    return m;
}

QStringList names(const QList<QVariantMap>& items)
{
    QStringList out;
    for (const QVariantMap& m : items)
        out << m.value(QStringLiteral("_name")).toString();
    return out;
}

class DriveDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override { QSettings().remove(DriveDiscovery::rejectedListKey()); }
    void TearDown() override { QSettings().remove(DriveDiscovery::rejectedListKey()); }
};

} // namespace

TEST_F(DriveDiscoveryTest, FilterKeepsMakerDevicesBehindHubsAndRemembersTheRest)
{
    const QVariantMap rootHub{{QStringLiteral("_name"), QStringLiteral("xHCI Host Controller")},
                              {QStringLiteral("host_controller"), QStringLiteral("xhci_hcd")},
                              {QStringLiteral("pci_vendor"), QStringLiteral("0x8086")}};
    QVariantMap bus = rootHub;
    bus.insert(QStringLiteral("_items"),
               QVariantList{device(QStringLiteral("USB2.0 Hub"), QStringLiteral("0x0608"), QStringLiteral("0x05e3"),
                                   {device(QStringLiteral("ZORVI Disk"), QStringLiteral("0x0001"), QStringLiteral("0x0002")),
                                    device(QStringLiteral("Generic Bridge"), QStringLiteral("0x7000"), QStringLiteral("0x4d5a")),
                                    device(QStringLiteral("Keyboard"), QStringLiteral("0x5678"), QStringLiteral("0x1234"))}),
                            device(QStringLiteral("Half Pair"), QStringLiteral("0x7000"), QStringLiteral("0x4d5c")),
                            device(QStringLiteral("Morvantek Old Zorvi"), QStringLiteral("0x0009"), QStringLiteral("0x0009"))});
    const QList<QVariantMap> top{QVariantMap{{QStringLiteral("_items"), QVariantList{bus}}}};

    // A device already judged is not tested again, whatever its name.
    QStringList rejected{QStringLiteral("morvantek old zorvi0x00090x0009")};
    const QList<QVariantMap> kept = DriveDiscovery::filterDeviceItems(top, rejected);

    EXPECT_EQ(names(kept), (QStringList{QStringLiteral("ZORVI Disk"), QStringLiteral("Generic Bridge")}));
    EXPECT_EQ(rejected, (QStringList{QStringLiteral("morvantek old zorvi0x00090x0009"),
                                     QStringLiteral("keyboard0x56780x1234"), QStringLiteral("usb2.0 hub0x06080x05e3"),
                                     QStringLiteral("half pair0x70000x4d5c")}));

    // Present only with the expected types.
    QVariantMap numeric = device(QStringLiteral("Zorvi"), QStringLiteral("0x7000"), QStringLiteral("0x4d5a"));
    numeric.insert(QStringLiteral("product_id"), 7000);
    QStringList none;
    EXPECT_TRUE(DriveDiscovery::filterDeviceItems({numeric}, none).isEmpty());
    EXPECT_TRUE(none.isEmpty());
}

TEST_F(DriveDiscoveryTest, RejectedListReadsCorruptValuesAsEmptyAndKeepsSingleEntries)
{
    QSettings().setValue(DriveDiscovery::rejectedListKey(), QVariantMap{{QStringLiteral("a"), 1}});
    EXPECT_TRUE(DriveDiscovery::readRejectedList().isEmpty());
    QSettings().setValue(DriveDiscovery::rejectedListKey(), QVariantList{QStringLiteral("a"), QVariantMap()});
    EXPECT_TRUE(DriveDiscovery::readRejectedList().isEmpty());

    DriveDiscovery::storeRejectedList({QStringLiteral("only")});
    QSettings().sync();
    EXPECT_EQ(DriveDiscovery::readRejectedList(), QStringList{QStringLiteral("only")});
}

TEST_F(DriveDiscoveryTest, PassOverFakeTreeGivesOneRecordPerMountedVolume)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    QStringList rejected;
    const QList<DriveDiscovery::Record> records = DriveDiscovery::runPass(tree.roots(), rejected);

    ASSERT_EQ(records.size(), 2);
    const DriveDiscovery::Record& first = records.at(0);
    EXPECT_EQ(first.value("id"), QStringLiteral("sdb1"));
    EXPECT_EQ(first.value("path"), QStringLiteral("ZORVI DISK"));
    EXPECT_EQ(first.value("mountPoint"), tree.path(QStringLiteral("media/ZORVI DISK")));
    EXPECT_EQ(first.value("manu"), QStringLiteral("Morvantek"));
    EXPECT_EQ(first.value("location"), QStringLiteral("0x01120000"));
    EXPECT_FALSE(first.value("system").contains(QLatin1Char(' ')));
    EXPECT_TRUE(first.contains("total"));
    EXPECT_TRUE(first.value("remain").endsWith(QLatin1String(" %")));
    EXPECT_EQ(records.at(1).value("id"), QStringLiteral("sdb2"));
    EXPECT_EQ(records.at(1).value("path"), QStringLiteral("BACKUP"));
    EXPECT_EQ(records.at(1).value("location"), first.value("location"));

    // The hub and the keyboard are remembered; the root hub is a host controller.
    EXPECT_EQ(rejected.size(), 2);
    EXPECT_TRUE(rejected.contains(QStringLiteral("keyboard0x56780x1234")));
}

TEST_F(DriveDiscoveryTest, VolumeDetailsKeepTheWholeMountPoint)
{
    const QString info = QStringLiteral(
        "   Device Identifier:        sdc1\n"
        "   Mount Point:              /media/u/Photos: 2024/Disk\n"
        "   File System Personality:  Windows NT Filesystem\n"
        "   Volume Total Space:       2.0 MB (2000000 Bytes) (exactly 3906 512-Byte-Units)\n"
        "   Container Total Space:    4.0 MB (4000000 Bytes) (exactly 7812 512-Byte-Units)\n"
        "   Volume Used Space:        1.0 MB (1000000 Bytes) (exactly 1953 512-Byte-Units)\n"
        "   Volume Available Space:   3.0 MB (3000000 Bytes) (exactly 5859 512-Byte-Units)\n");
    const auto record = DriveDiscovery::readVolumeInfo(info, QStringLiteral("sdc1"), QStringLiteral("Velkan"),
                                                       QStringLiteral("0x02100000"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value("mountPoint"), QStringLiteral("/media/u/Photos: 2024/Disk"));
    EXPECT_EQ(record->value("path"), QStringLiteral("Disk"));
    EXPECT_EQ(record->value("system"), QStringLiteral("WindowsNTFilesystem"));
    EXPECT_EQ(record->value("total"), QStringLiteral("4.00 MB")); // the later line wins
    EXPECT_EQ(record->value("used"), QStringLiteral("1.00 MB"));
    EXPECT_EQ(record->value("free"), QStringLiteral("3.00 MB"));
    EXPECT_EQ(record->value("remain"), QStringLiteral("25.00 %"));

    EXPECT_FALSE(DriveDiscovery::readVolumeInfo(QStringLiteral("   Mounted: No\n"), QStringLiteral("sdc1"), {}, {}));
}

TEST_F(DriveDiscoveryTest, SizeAndPercentTexts)
{
    auto size = [](const char* bytes) {
        return DriveDiscovery::formatVolumeSize(QStringLiteral("x (%1 Bytes) (exactly)").arg(QLatin1String(bytes)));
    };
    EXPECT_EQ(size("999"), QStringLiteral("999 B"));
    EXPECT_EQ(size("1000"), QStringLiteral("1.00 KB"));
    EXPECT_EQ(size("1500000"), QStringLiteral("1.50 MB"));
    EXPECT_EQ(size("2000000000000"), QStringLiteral("2.00 TB"));
    EXPECT_EQ(size("5000000000000000"), QStringLiteral("5000.00 TB"));
    EXPECT_EQ(size(" 123"), QStringLiteral("0 B"));
    EXPECT_EQ(size("0x10"), QStringLiteral("0 B"));
    EXPECT_EQ(size("12abc"), QStringLiteral("0 B"));
    EXPECT_EQ(DriveDiscovery::formatVolumeSize(QString()), QStringLiteral("0 B"));

    const QString total = QStringLiteral("4 KB (4000 Bytes)");
    EXPECT_EQ(DriveDiscovery::usedPercentText(QStringLiteral("1 KB (1000 Bytes)"), total), QStringLiteral("25.00 %"));
    EXPECT_EQ(DriveDiscovery::usedPercentText(QString(), total), QStringLiteral("0.00 %"));
    EXPECT_EQ(DriveDiscovery::usedPercentText(QStringLiteral("1 KB (1000 Bytes)"), QStringLiteral("0 B (0 Bytes)")),
              QStringLiteral("0 %"));
    EXPECT_EQ(DriveDiscovery::usedPercentText(QStringLiteral("1 KB (1000 Bytes)"), QStringLiteral("n/a")),
              QStringLiteral("0 %"));
}

TEST_F(DriveDiscoveryTest, RetriesUpToFourteenTimesButNeverForTagNine)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    tree.write(QStringLiteral("mountinfo"), QString()); // nothing mounted yet
    DriveDiscovery discovery;
    discovery.setSystemRoots(tree.roots());
    discovery.setRetryInterval(1);
    QSignalSpy passes(&discovery, &DriveDiscovery::passFinished);
    QSignalSpy finished(&discovery, &DriveDiscovery::finished);

    discovery.setDeviceShouldHave(1);
    discovery.refresh(9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 10000));
    EXPECT_EQ(passes.count(), 1);

    discovery.refresh(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 2; }, 30000));
    EXPECT_EQ(passes.count(), 1 + 1 + DriveDiscovery::kMaxRetries);
    EXPECT_EQ(discovery.retryCount(), 0);
    EXPECT_EQ(discovery.deviceShouldHave(), 1); // every retry starts from the same count
    EXPECT_FALSE(discovery.isBusy());
    EXPECT_TRUE(discovery.deviceArray().isEmpty());
}

TEST_F(DriveDiscoveryTest, RetriesStopOnceTheVolumesAreMounted)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    QFile f(tree.path(QStringLiteral("mountinfo")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString mounted = QString::fromUtf8(f.readAll());
    tree.write(QStringLiteral("mountinfo"), QString());

    DriveDiscovery discovery;
    discovery.setSystemRoots(tree.roots());
    discovery.setRetryInterval(5);
    QSignalSpy finished(&discovery, &DriveDiscovery::finished);
    int passes = 0;
    QObject::connect(&discovery, &DriveDiscovery::passFinished, [&](int) {
        if (++passes == 2)
            tree.write(QStringLiteral("mountinfo"), mounted);
    });
    discovery.setDeviceShouldHave(1);
    discovery.refresh(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 30000));
    EXPECT_EQ(passes, 3);
    EXPECT_EQ(discovery.deviceArray().size(), 2);
}

TEST_F(DriveDiscoveryTest, PassStoresNewlyRejectedDevices)
{
    QSettings().setValue(DriveDiscovery::rejectedListKey(), 17);
    FakeSystemTree tree;
    tree.buildMakerTree();
    DriveDiscovery discovery;
    discovery.setSystemRoots(tree.roots());
    QSignalSpy finished(&discovery, &DriveDiscovery::finished);
    discovery.refresh(9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 10000));
    QStringList stored = DriveDiscovery::readRejectedList();
    stored.sort();
    EXPECT_EQ(stored, (QStringList{QStringLiteral("keyboard0x56780x1234"), QStringLiteral("usb2.0 hub0x06080x05e3")}));
}
