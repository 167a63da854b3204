#include "FirmwareUpdate.h"
#include "BridgeFwUpdate_Lib.h"
#include "FakeScsiTransport.h"
#include "ScsiResult.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString writeImage(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray pattern(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(i * 7 + 3);
    return b;
}

// Commands that change the chip.
int writes(const FakeScsiTransport& t)
{
    int n = 0;
    for (const SentCommand& c : t.sent)
        n += c.cdb.startsWith('\xE1') || c.cdb.startsWith('\xE3') || c.cdb.startsWith('\xE8');
    return n;
}

} // namespace

TEST(FirmwareUpdateTest, ImageIsFramedWithSizeClockCodeAndSum)
{
    const std::pair<quint8, quint8> codes[] = { { 0x00, 90 }, { 0x40, 90 }, { 0x10, 75 }, { 0x20, 60 }, { 0x30, 45 }, { 0x50, 30 }, { 0x60, 15 }, { 0x70, 105 }, { 0x8F, 90 } };
    for (auto [reg, code] : codes)
        EXPECT_EQ(firmwareClockCode(reg), code) << int(reg);

    QTemporaryDir dir;
    const QByteArray image = pattern(1000);
    const QString path = writeImage(dir, QStringLiteral("ZV2105_fw_FF.bin"), image);
    FakeScsiTransport t;
    t.add(1);
    ASSERT_EQ(BridgeFwUpdate_Lib::FwUpdate_Fun(t, QFile::encodeName(path).constData()), 0);
    EXPECT_EQ(t.cdbs(), (QStringList { "12 00 00 00 26 00", "e4 07 00 07 f0 00", "e4 01 00 c8 ff 00", "e0 00 00 00 00 00", "e1 00 00 00 00 00", "e3 00 00 00 00 00", "e8 00 00 00 00 00" }));
    const QByteArray eeprom = t.chips[0].eeprom;
    ASSERT_EQ(eeprom.size(), 1004);
    EXPECT_EQ(eeprom.left(2), QByteArray::fromHex("e803"));
    EXPECT_EQ(eeprom.mid(2, 1000), image);
    quint8 sum = 0;
    for (char c : image)
        sum = quint8(sum + quint8(c));
    EXPECT_EQ(quint8(eeprom[1002]), 30); // clock register 0x50
    EXPECT_EQ(quint8(eeprom[1003]), sum);
    EXPECT_EQ(firmwareState().imageSize, 1000);

    // The version text of the last version read.
    int error = 0;
    ASSERT_EQ(readFirmwareVersion(*t.open(t.chips[0].node.devnode, &error)), 0);
    EXPECT_EQ(firmwareState().versionText, QByteArray("15111300ff0407"));
}

TEST(FirmwareUpdateTest, RefusedImagesAndChipsWriteNothing)
{
    QTemporaryDir dir;
    FakeScsiTransport t;
    t.add(1).registers[0x07F0] = QByteArray::fromHex("15111300010407"); // customer byte 01
    const QByteArray good = QFile::encodeName(writeImage(dir, QStringLiteral("ZV2105_fw_00.bin"), pattern(1000)));
    EXPECT_EQ(BridgeFwUpdate_Lib::FwUpdate_Fun(t, good.constData(), 0), -5);
    EXPECT_EQ(BridgeFwUpdate_Lib::FwUpdate_Fun(t, good.constData()), -5);
    EXPECT_EQ(writes(t), 0);

    // Files refused before any command reaches a chip.
    t.sent.clear();
    const QByteArray tooLarge = QFile::encodeName(writeImage(dir, QStringLiteral("ZV2105_fw_00L.bin"), pattern(65536)));
    const QByteArray empty = QFile::encodeName(writeImage(dir, QStringLiteral("ZV2105_fw_00E.bin"), {}));
    const QByteArray missing = QFile::encodeName(dir.filePath(QStringLiteral("ZV2105_fw_00M.bin")));
    for (const QByteArray& path : { tooLarge, empty, missing }) {
        EXPECT_EQ(BridgeFwUpdate_Lib::FwUpdate_Fun(t, path.constData(), 0), -1) << path.constData();
        EXPECT_EQ(BridgeFwUpdate_Lib::FwUpdate_all_Fun(t, path.constData()), -1) << path.constData();
    }
    EXPECT_EQ(BridgeFwUpdate_Lib::FwUpdate_Fun(t, nullptr), -1);
    EXPECT_TRUE(t.sent.isEmpty());

    // A file that changed since it was measured is not written.
    FakeScsiTransport ok;
    ok.add(1);
    const QString changing = writeImage(dir, QStringLiteral("ZV2105_fw_00C.bin"), pattern(1000));
    QByteArray image;
    ASSERT_EQ(loadFirmwareImage(changing, &image), 0);
    writeImage(dir, QStringLiteral("ZV2105_fw_00C.bin"), pattern(1001));
    EXPECT_EQ(writeStoredFirmwareOnService(ok, ok.chips[0].node), -1);
    writeImage(dir, QStringLiteral("ZV2105_fw_00C.bin"), pattern(999));
    EXPECT_EQ(writeStoredFirmwareOnService(ok, ok.chips[0].node), -1);
    EXPECT_TRUE(ok.sent.isEmpty());

    // A failed clock read stops before the configuration table is touched.
    ok.chips[0].faultCdb = QByteArray::fromHex("e40100c8ff");
    EXPECT_LT(BridgeFwUpdate_Lib::FwUpdate_Fun(ok, good.constData(), 0), -10);
    EXPECT_EQ(ok.cdbs().last(), "e4 01 00 c8 ff 00");
    EXPECT_EQ(writes(ok), 0);
}

TEST(FirmwareUpdateTest, ImageNameCustomerId)
{
    EXPECT_TRUE(checkImageCustomerId(QStringLiteral("/x/y/ZV2105_fw_FF_v2.bin")));
    EXPECT_TRUE(checkImageCustomerId(QStringLiteral("/x/ZV_BR_PCIE_0001234FF.bin")));
    EXPECT_FALSE(checkImageCustomerId(QStringLiteral("/x/ZV_BR_PCIE_0001234ff.bin")));
    EXPECT_FALSE(checkImageCustomerId(QStringLiteral("/x/ABBR_PCIE_FF_ver_01.bin"))); // offset 10 is not used
    EXPECT_FALSE(checkImageCustomerId(QStringLiteral("/x/ZV2105_fw_01.bin")));
    EXPECT_FALSE(checkImageCustomerId(QStringLiteral("/00/FF/a.bin")));
    EXPECT_FALSE(checkImageCustomerId(QStringLiteral("/x/ZV2105_fw_0")));
}

TEST(FirmwareUpdateTest, WholeBusCallsNeedTheDriverAndReportTheFirstFailure)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(writeImage(dir, QStringLiteral("ZV2105_fw_01.bin"), pattern(100)));
    FakeScsiTransport t;
    t.add(1).faultCdb = QByteArray::fromHex("e3");
    t.chips[0].fault = FakeBridge::Fault::IoctlError;
    t.add(2);
    quint8 v[7];

    t.loaded = false;
    EXPECT_EQ(BridgeFwUpdate_Lib::FwUpdate_all_Fun(t, path.constData()), -1);
    EXPECT_EQ(BridgeFwUpdate_Lib::GetFwVersion_all_Fun(t, v), -1);
    EXPECT_TRUE(t.sent.isEmpty());

    // Without the customer-id tests: the first bridge fails, the second is still written.
    t.loaded = true;
    EXPECT_EQ(BridgeFwUpdate_Lib::FwUpdate_all_Fun(t, path.constData()), ScsiResult::systemError(EIO));
    EXPECT_EQ(t.chips[1].eeprom.size(), 104);
    EXPECT_TRUE(t.cdbs(0).contains("e3 00 00 00 00 00"));
    EXPECT_FALSE(t.cdbs(0).contains("e8 00 00 00 00 00"));

    t.chips[0].faultCdb = QByteArray::fromHex("e4");
    t.chips[0].fault = FakeBridge::Fault::ShortAnswer;
    t.chips[1].registers[0x07F0] = QByteArray::fromHex("01020304050607");
    EXPECT_EQ(BridgeFwUpdate_Lib::GetFwVersion_all_Fun(t, v), ScsiResult::shortTransfer(4));
    EXPECT_EQ(BridgeFwUpdate_Lib::GetFwVersion_Fun(t, v), ScsiResult::shortTransfer(4));
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(v), 7), QByteArray::fromHex("01020304050607"));
}
