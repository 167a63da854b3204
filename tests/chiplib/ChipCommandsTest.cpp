#include "ChipCommands.h"
#include "BridgeFwUpdate_Lib.h"
#include "BridgeServices.h"
#include "FakeScsiTransport.h"
#include "FakeUsbTransport.h"
#include "ScsiResult.h"
#include "UsbLocationId.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<ScsiDeviceHandle> openFirst(FakeScsiTransport& t)
{
    int error = 0;
    return t.open(t.chips[0].node.devnode, &error);
}

QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

TEST(ChipCommandsTest, EveryCommandSendsItsBytes)
{
    FakeScsiTransport t;
    t.add(1);
    const auto d = openFirst(t);
    quint8 buffer[4096];
    const quint8 image[1004] = { 0xE8, 0x03 };
    ASSERT_EQ(registerRead(*d, 0x07F0, buffer, 7), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), 7), bytes("15111300ff0407"));
    ASSERT_EQ(ataIdentify(*d, buffer, 512), 0);
    ASSERT_EQ(nvmeIdentify(*d, buffer, 4096), 0);
    ASSERT_EQ(vendorConfigRead(*d, buffer, 0), 0);
    ASSERT_EQ(vendorConfigWrite(*d, buffer, 0), 0);
    ASSERT_EQ(vendorSetEEPROM(*d, image, sizeof image, 0), 0);
    ASSERT_EQ(cpuReset(*d), 0);
    EXPECT_EQ(checkChip2105(*d), 0);
    EXPECT_EQ(checkChip2360(*d), -1);
    quint8 serial[20];
    ASSERT_EQ(getIdentifySN(t, t.chips[0].node, serial), 0);

    EXPECT_EQ(t.cdbs(), (QStringList {
                            "e4 07 00 07 f0 00",
                            "a1 08 0d 01 00 00 00 00 16 ec 00 00",
                            "e6 06 00 01 00 00 00 00 00 00 00 00 00 00 00 00",
                            "e0 00 00 00 00 00",
                            "e1 00 00 00 00 00",
                            "e3 00 00 00 00 00",
                            "e8 00 00 00 00 00",
                            "12 00 00 00 26 00",
                            "12 00 00 00 26 00",
                            "a1 08 0e 00 01 00 00 00 a0 ec 00 00",
                        }));
    const int in = SG_DXFER_FROM_DEV, out = SG_DXFER_TO_DEV;
    const std::pair<int, unsigned> transfers[] = { { in, 7 }, { in, 512 }, { in, 4096 }, { in, 128 }, { out, 128 }, { out, 1004 }, { SG_DXFER_NONE, 0u }, { in, 38 } };
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(std::make_pair(t.sent[i].direction, t.sent[i].length), transfers[i]) << i;
    EXPECT_EQ(t.sent[4].dataOut, t.chips[0].config);
    EXPECT_EQ(t.sent[5].dataOut.left(2), bytes("e803"));
}

TEST(ChipCommandsTest, FailedCommandsAreReportedAndLeaveNoStaleBytes)
{
    FakeScsiTransport t;
    FakeBridge& b = t.add(1);
    b.faultCdb = bytes("e4");
    const auto d = openFirst(t);
    quint8 v[7];

    EXPECT_EQ(registerRead(*d, 0x07F0, v, 7), ScsiResult::deviceStatus(0x02, 0x05));

    b.fault = FakeBridge::Fault::ShortAnswer;
    std::memset(v, 0xEE, sizeof v);
    EXPECT_EQ(registerRead(*d, 0x07F0, v, 7), ScsiResult::shortTransfer(4));
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(v), 7), bytes("151113 00000000"));

    b.fault = FakeBridge::Fault::HostError;
    EXPECT_EQ(registerRead(*d, 0x07F0, v, 7), ScsiResult::transportError(0x07, 0));
    b.fault = FakeBridge::Fault::IoctlError;
    EXPECT_EQ(registerRead(*d, 0x07F0, v, 7), ScsiResult::systemError(EIO));
    // None of them may pass for one of the library's own small codes.
    EXPECT_LT(ScsiResult::systemError(EIO), -10);

    // A failing INQUIRY is no chip of ours, and the facade passes the command's failure on.
    b.faultCdb = bytes("12");
    b.fault = FakeBridge::Fault::CheckCondition;
    EXPECT_FALSE(isChip2105(t, b.node));
    EXPECT_EQ(BridgeFwUpdate_Lib::GetFwVer(t, 1, v), -3);

    SCSI_Req_ bad = SCSI_Req_::make({ 0x12, 0, 0, 0, 38, 0 }, SCSI_Req_::kIn, nullptr, 38);
    EXPECT_EQ(sendScsiRequest(*d, bad), ScsiResult::badRequest());
}

TEST(BridgeWalkTest, DeviceIndexesCountOnly2105BridgesThatOpen)
{
    FakeScsiTransport t;
    t.add(1);
    t.add(2, 0x60, 0x23); // a 2360: only the kind-2 calls see it
    t.add(3).opens = false;
    t.add(4).registers[0x07F0] = bytes("01020304050607");
    quint8 v[7];
    quint8 serial[20];

    ASSERT_EQ(BridgeFwUpdate_Lib::GetFwVersion_Fun(t, v, 1), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(v), 7), bytes("01020304050607"));
    EXPECT_EQ(BridgeFwUpdate_Lib::GetFwVersion_Fun(t, v, 2), -3);
    EXPECT_EQ(BridgeFwUpdate_Lib::GetConfigSN_Fun(t, serial, -1), -3);
    EXPECT_EQ(BridgeFwUpdate_Lib::ResetCPU_Fun(t, 2), -3);
    ASSERT_EQ(BridgeFwUpdate_Lib::ResetCPU_Fun(t, 1), 0);
    EXPECT_EQ(t.cdbs(3).last(), "e8 00 00 00 00 00");
    ASSERT_EQ(BridgeFwUpdate_Lib::GetConfigSN_Fun(t, serial, 0), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(serial), 20), QByteArray(20, '\x11'));

    auto identify = std::make_unique<quint8[]>(4096);
    ASSERT_EQ(BridgeFwUpdate_Lib::GetHDSN(t, 2, identify.get()), 0);
    EXPECT_EQ(t.cdbs(1).last(), "e6 06 00 01 00 00 00 00 00 00 00 00 00 00 00 00");
    ASSERT_EQ(BridgeFwUpdate_Lib::GetFwVer(t, 2, v), 0);
    EXPECT_EQ(t.sent.last().bridge, 1);
    EXPECT_EQ(BridgeFwUpdate_Lib::GetFwVer(t, 3, v), -10);

    quint8 data[38];
    const SCSI_Req_ inquiry = SCSI_Req_::make({ 0x12, 0, 0, 0, 38, 0 }, SCSI_Req_::kIn, data, sizeof data);
    ASSERT_EQ(BridgeFwUpdate_Lib::ATAPassTrhough_Fun(t, inquiry, 1), 0);
    EXPECT_EQ(t.sent.last().bridge, 3);
    EXPECT_EQ(data[36], 0x05);

    // Without the driver nothing reaches a bridge.
    t.sent.clear();
    t.loaded = false;
    EXPECT_EQ(BridgeFwUpdate_Lib::GetFwVersion_Fun(t, v, 0), -1);
    EXPECT_EQ(BridgeFwUpdate_Lib::GetHDSN(t, 1, identify.get()), -1);
    EXPECT_EQ(BridgeFwUpdate_Lib::ATAPassTrhough_Fun(t, inquiry, 0), -1);
    EXPECT_TRUE(t.sent.isEmpty());
}

TEST(ScanUSBPortTest, MatchesBridgesByWholeSerialOrLocation)
{
    FakeUsbTransport usb;
    usb.add(0x4d5a, 0x7000, 1, { 1 }).entry.serialNumber = QStringLiteral("ZV");      // a prefix only
    usb.add(0x4d5a, 0x7000, 1, { 2 }).entry.serialNumber = QStringLiteral("ZV0001");  // config serial
    usb.add(0x4d5a, 0x1000, 1, { 3 }).entry.serialNumber = QStringLiteral("WD-ABC1"); // drive serial
    usb.add(0x4d5b, 0x2000, 1, { 4 }).entry.serialNumber = QStringLiteral("OTHER");   // by location
    usb.devices[1].entry.productName = QStringLiteral("Zorvi Disk");

    FakeScsiTransport scsi;
    scsi.add(UsbLocationId::fromPorts(1, { 9 })).config.replace(4, 20, QByteArray("ZV0001").leftJustified(20, '\0'));
    // ATA strings are space padded with the two bytes of each word swapped.
    scsi.add(UsbLocationId::fromPorts(1, { 8 })).identify.replace(20, 20, QByteArray("DWA-CB 1").leftJustified(20, ' '));
    scsi.add(UsbLocationId::fromPorts(1, { 4 }));
    scsi.add(UsbLocationId::fromPorts(1, { 1 }), 0x60, 0x23); // not a 2105

    auto list = std::make_unique<USBDevListExp_>();
    ASSERT_EQ(BridgeFwUpdate_Lib::ScanUSBPort_Fun(usb, scsi, list.get()), 0);
    ASSERT_EQ(list->count, 3);
    EXPECT_EQ(QByteArray(list->devices[0].serialNumber), QByteArray("ZV0001"));
    EXPECT_EQ(QByteArray(list->devices[0].productName), QByteArray("Zorvi Disk"));
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(list->devices[0].firmwareVersion), 7), bytes("15111300ff0400"));
    EXPECT_EQ(quint32(list->devices[0].locationID), UsbLocationId::fromPorts(1, { 2 }));
    EXPECT_EQ(QByteArray(list->devices[1].serialNumber), QByteArray("WD-ABC1"));
    EXPECT_EQ(list->devices[1].productId[0], 0x10);
    EXPECT_EQ(QByteArray(list->devices[2].serialNumber), QByteArray("OTHER"));
    EXPECT_EQ(list->devices[2].vendorId[1], 0x5b);

    FakeScsiTransport none;
    none.add(1, 0x60, 0x23);
    EXPECT_EQ(BridgeFwUpdate_Lib::ScanUSBPort_Fun(usb, none, list.get()), -3);
    EXPECT_EQ(list->count, 0);
}
