#include "BridgeFwUpdate_Lib.h"
#include "FakeUsbTransport.h"
#include "OtbScan.h"
#include "UsbLocationId.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Slots = std::array<qint32, 4>;

struct Poll {
    qint32 result;
    Slots status;
    Slots location;
};

Poll poll(FakeUsbTransport& t)
{
    Poll p{};
    p.status.fill(-99);
    p.location.fill(-99);
    p.result = BridgeFwUpdate_Lib::GetOTBStatus2(t, p.status.data(), p.location.data());
    return p;
}

const Slots kPresets{7, 7, 7, 7};
const Slots kNoLocations{0, 0, 0, 0};

} // namespace

TEST(GetOTBStatus2Test, EmptyBusUnreachableUsbAndThrowingDeviceLeavePresets)
{
    FakeUsbTransport none;
    Poll p = poll(none);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.status, kPresets);
    EXPECT_EQ(p.location, kNoLocations);

    FakeUsbTransport unreachable;
    unreachable.add(0x4d5a, 0x7000, 1, {2}, {0xAA, 0xAA});
    unreachable.enumerateFails = true;
    p = poll(unreachable);
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.status, kPresets);
    EXPECT_EQ(p.location, kNoLocations);

    FakeUsbTransport throwing;
    throwing.add(0x4d5a, 0x7000, 1, {1}, {0xAA, 0xAA});
    throwing.add(0x4d5a, 0x7000, 1, {2}).throwOnRequest = true;
    p = poll(throwing);
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.status, kPresets);
    EXPECT_EQ(p.location, kNoLocations);
    EXPECT_EQ(throwing.openHandles, 0);
}

TEST(GetOTBStatus2Test, AnsweringDevicesFillSlotsInOrderAndFailuresTakeNone)
{
    FakeUsbTransport t;
    t.add(0x1111, 1, 1, {1}).openError = -3;       // no permission
    t.add(0x1111, 2, 1, {2}).requestError = -7;    // silent: timed out
    t.add(0x4d5a, 0x7000, 1, {3}, {0x55, 0x55});   // slot 0
    t.add(0x4d5a, 0x7000, 2, {1, 4}, {0xAA, 0x55}); // slot 1: mixed reply
    t.add(0x4d5a, 0x1000, 1, {2, 3}, {0xAA, 0xAA}); // slot 2: the third to answer, pressed
    t.add(0x4d5b, 0x2000, 3, {16}, {0x00, 0x00});  // slot 3
    t.add(0x4d5c, 0x5106, 3, {5}, {0xAA, 0xAA});   // a fifth answer has no slot

    const Poll p = poll(t);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.status, (Slots{6, 7, 5, 7}));
    EXPECT_EQ(p.location, (Slots{qint32(UsbLocationId::fromPorts(1, {3})), qint32(UsbLocationId::fromPorts(2, {1, 4})),
                                 qint32(UsbLocationId::fromPorts(1, {2, 3})), qint32(UsbLocationId::fromPorts(3, {16}))}));
    // The main window matches this text against its device list.
    EXPECT_EQ(UsbLocationId::toText(quint32(p.location[2])), QStringLiteral("0x01230000"));
    EXPECT_FALSE(t.opened.contains(6));
    EXPECT_EQ(t.openHandles, 0);

    ASSERT_EQ(t.requests.size(), 5);
    for (const FakeRequest& r : t.requests) {
        EXPECT_EQ(r.requestType, 0x80);
        EXPECT_EQ(r.request, 6);
        EXPECT_EQ(r.value, 0x03FF);
        EXPECT_EQ(r.index, 1);
        EXPECT_EQ(r.length, 4);
        // A zero timeout would wait for ever; anything near the poll period would stall it.
        EXPECT_GT(r.timeout.count(), 0);
        EXPECT_LT(r.timeout.count(), 300);
    }

    // The first poll left the pressed drive closed, so the next one reads it again.
    EXPECT_EQ(poll(t).status[2], 5);
}

TEST(GetOTBStatusTest, SelectionOutOfRangeTouchesNoDevice)
{
    FakeUsbTransport t;
    t.add(0x4d5a, 0x7000, 1, {1});
    t.add(0x4d5a, 0x7000, 1, {2});
    t.add(0x4d5a, 0x7000, 1, {3}).entry.serialNumber.clear(); // not counted
    qint32 status = -99;
    EXPECT_EQ(BridgeFwUpdate_Lib::GetOTBStatus(t, 0x4d5a, 0x7000, &status, 2), -10);
    EXPECT_EQ(status, 7);
    EXPECT_EQ(BridgeFwUpdate_Lib::GetOTBStatus(t, 0x4d5a, 0x7000, &status, -1), -10);
    EXPECT_EQ(BridgeFwUpdate_Lib::GetOTBStatus(t, 0x4d5a, 0x1000, &status, 0), -10);
    EXPECT_TRUE(t.opened.isEmpty());
}

TEST(GetOTBStatusTest, ReadsOnlyTheSelectedDeviceAndFailsForIt)
{
    FakeUsbTransport t;
    t.add(0x1111, 0x2222, 1, {1}, {0xAA, 0xAA});
    t.add(0x4d5a, 0x7000, 1, {2}, {0xAA, 0xAA});
    t.add(0x4d5a, 0x7000, 1, {3}, {0x55, 0x55});
    t.add(0x4d5a, 0x7000, 1, {4}, {0xAA, 0xAA});
    qint32 status = -99;
    EXPECT_EQ(BridgeFwUpdate_Lib::GetOTBStatus(t, 0x4d5a, 0x7000, &status, 1), 0);
    EXPECT_EQ(status, 6);
    EXPECT_EQ(t.opened, QList<int>{2});

    // A selected drive that does not open is a failure; the next drive must not answer for it.
    t.opened.clear();
    t.devices[2].openError = -3;
    EXPECT_EQ(BridgeFwUpdate_Lib::GetOTBStatus(t, 0x4d5a, 0x7000, &status, 1), -1);
    EXPECT_EQ(status, 7);
    EXPECT_EQ(t.opened, QList<int>{2});

    t.devices[2].openError = 0;
    t.devices[2].requestError = -7;
    EXPECT_EQ(BridgeFwUpdate_Lib::GetOTBStatus(t, 0x4d5a, 0x7000, &status, 1), -1);
    EXPECT_EQ(status, 7);

    t.devices[2].requestError = 0;
    t.devices[2].throwOnRequest = true;
    EXPECT_EQ(BridgeFwUpdate_Lib::GetOTBStatus(t, 0x4d5a, 0x7000, &status, 1), -1);
    EXPECT_EQ(status, 7);
    EXPECT_EQ(t.openHandles, 0);
}

TEST(GetOTBStatusTest, FilteredWalkOutcomes)
{
    FakeUsbTransport empty;
    qint32 status = 0;
    EXPECT_EQ(getOtbStatusFiltered(empty, 0x4d5a, 0x7000, &status, 0), -4);

    // The last device seen decides: another product after the wanted one's ordinal ran out.
    FakeUsbTransport t;
    t.add(0x4d5a, 0x7000, 1, {1});
    t.add(0x1111, 0x2222, 1, {2});
    EXPECT_EQ(getOtbStatusFiltered(t, 0x4d5a, 0x7000, &status, 1), -3);
    EXPECT_EQ(status, 7);
}

TEST(GetUSBDevListTest, FillsRecordsSkippingBuiltInAndUnserialisedUpTo80)
{
    FakeUsbTransport t;
    FakeUsbDevice& d = t.add(0x4d5a, 0x7000, 2, {1, 3});
    d.entry.vendorName = QStringLiteral("Morvantek");
    d.entry.productName = QStringLiteral("Zorvi Disk ü");
    d.entry.serialNumber = QStringLiteral("0123456789ABCDEFGHIJKLMN");
    t.add(0x1111, 1, 1, {1}).entry.builtIn = true;
    t.add(0x1111, 2, 1, {2}).entry.serialNumber.clear();
    for (int i = 0; i < 100; ++i)
        t.add(0x2222, quint16(i), 3, {1, 1 + i % 15});

    const auto list = std::make_unique<USBDevList_>();
    getUSBDevList(t, list.get());
    ASSERT_EQ(list->count, 80);
    const USBDevInfo_& r = list->devices[0];
    EXPECT_EQ(r.valid, 1);
    EXPECT_EQ(r.vendorId[0], 0x4d);
    EXPECT_EQ(r.vendorId[1], 0x5a);
    EXPECT_EQ(r.productId[0], 0x70);
    EXPECT_EQ(r.productId[1], 0x00);
    EXPECT_EQ(QString::fromUtf8(r.productName, r.productNameLength), QStringLiteral("Zorvi Disk ü"));
    EXPECT_EQ(QByteArray(r.vendorName), QByteArray("Morvantek"));
    EXPECT_EQ(r.serialNumberLength, 24);
    EXPECT_EQ(QByteArray(r.serialNumber), QByteArray("0123456789ABCDEFGHIJ"));
    EXPECT_EQ(quint32(r.locationID), UsbLocationId::fromPorts(2, {1, 3}));
    EXPECT_EQ(list->devices[1].productId[1], 0); // the first of the 100, the two skipped
}
