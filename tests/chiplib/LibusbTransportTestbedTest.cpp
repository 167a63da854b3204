// The real libusb path, with umockdev standing in for the kernel's usbfs.
#include "BridgeFwUpdate_Lib.h"
#include "LibusbTransport.h"
#include "UmockdevUsbDevices.h"
#include "UsbLocationId.h"
#include "UsbfsControlResponder.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(LibusbTransportTestbedTest, PressedDriveAnswersThroughLibusb)
{
    if (!umockdevPreloaded())
        GTEST_SKIP() << "needs the umockdev preload library (run through ctest or umockdev-wrapper)";
    UMockdevTestbed* testbed = umockdev_testbed_new();
    UsbfsControlResponder drive([](const unsigned char*, unsigned char* data, int length) {
        const unsigned char pressed[4] = {0xAA, 0xAA, 0, 0};
        std::copy_n(pressed, std::min(length, 4), data);
        return std::min(length, 4);
    });
    ASSERT_TRUE(drive.attach(testbed, "/dev/bus/usb/002/007"));
    ASSERT_TRUE(addUsbDevice(testbed, "/devices/usb2", 2, 1, usbDescriptors(0x1d6b, 2, 9)));
    ASSERT_TRUE(addUsbDevice(testbed, "/devices/usb2/2-1", 2, 2, usbDescriptors(0x05e3, 0x0608, 9)));
    ASSERT_TRUE(addUsbDevice(testbed, "/devices/usb2/2-1/2-1.4", 2, 7, usbDescriptors(0x4d5c, 0x5106, 0)));

    LibusbTransport transport;
    QList<UsbDeviceEntry> devices;
    ASSERT_TRUE(transport.enumerate(&devices));
    ASSERT_EQ(devices.size(), 2); // the root hub is not listed
    EXPECT_EQ(devices[1].ports, (QList<int>{1, 4}));
    EXPECT_EQ(devices[1].vendorId, 0x4d5c);
    EXPECT_EQ(devices[1].productId, 0x5106);
    EXPECT_EQ(devices[1].serialNumber, QStringLiteral("ZV0001"));

    // The hub has no usbfs behind its node, so only the drive takes a slot.
    qint32 status[4];
    qint32 location[4];
    ASSERT_EQ(BridgeFwUpdate_Lib::GetOTBStatus2(transport, status, location), 0);
    EXPECT_EQ(status[0], 5);
    EXPECT_EQ(status[1], 7);
    EXPECT_EQ(quint32(location[0]), UsbLocationId::fromSysfs(2, QStringLiteral("1.4")));
    EXPECT_EQ(QByteArray::fromStdString(drive.lastSetup()).toHex(), QByteArray("8006ff0301000400"));

    drive.detach(testbed, "/dev/bus/usb/002/007");
    g_object_unref(testbed);
}

// The poller keeps one transport for its life: drives plugged in or pulled out after it
// was made must show in the next listing, and a poll reads each drive it lists.
TEST(LibusbTransportTestbedTest, AKeptTransportFollowsArrivalsAndRemovals)
{
    if (!umockdevPreloaded())
        GTEST_SKIP() << "needs the umockdev preload library (run through ctest or umockdev-wrapper)";
    UMockdevTestbed* testbed = umockdev_testbed_new();
    auto reply = [](unsigned char state) {
        return [state](const unsigned char*, unsigned char* data, int length) {
            const int n = std::min(length, 4);
            std::fill_n(data, n, 0);
            std::fill_n(data, std::min(n, 2), state);
            return n;
        };
    };
    UsbfsControlResponder first(reply(0x55));
    UsbfsControlResponder second(reply(0xAA));
    ASSERT_TRUE(first.attach(testbed, "/dev/bus/usb/001/002"));
    ASSERT_TRUE(second.attach(testbed, "/dev/bus/usb/001/003"));
    ASSERT_TRUE(addUsbDevice(testbed, "/devices/usb1", 1, 1, usbDescriptors(0x1d6b, 2, 9)));
    ASSERT_TRUE(addUsbDevice(testbed, "/devices/usb1/1-2", 1, 2, usbDescriptors(0x4d5c, 0x5106, 0)));

    LibusbTransport transport;
    qint32 status[4];
    qint32 location[4];
    ASSERT_EQ(BridgeFwUpdate_Lib::GetOTBStatus2(transport, status, location), 0);
    EXPECT_EQ(QList<qint32>(status, status + 4), (QList<qint32>{6, 7, 7, 7}));

    ASSERT_TRUE(addUsbDevice(testbed, "/devices/usb1/1-3", 1, 3, usbDescriptors(0x4d5c, 0x5106, 0)));
    umockdev_testbed_uevent(testbed, "/sys/devices/usb1/1-3", "add");
    ASSERT_EQ(BridgeFwUpdate_Lib::GetOTBStatus2(transport, status, location), 0);
    EXPECT_EQ(QList<qint32>(status, status + 4), (QList<qint32>{6, 5, 7, 7}));
    EXPECT_EQ(quint32(location[1]), UsbLocationId::fromPorts(1, {3}));

    umockdev_testbed_uevent(testbed, "/sys/devices/usb1/1-2", "remove");
    umockdev_testbed_remove_device(testbed, "/sys/devices/usb1/1-2");
    QList<UsbDeviceEntry> devices;
    ASSERT_TRUE(transport.enumerate(&devices));
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0].ports, (QList<int>{3}));
    ASSERT_EQ(BridgeFwUpdate_Lib::GetOTBStatus2(transport, status, location), 0);
    EXPECT_EQ(QList<qint32>(status, status + 4), (QList<qint32>{5, 7, 7, 7}));

    first.detach(testbed, "/dev/bus/usb/001/002");
    second.detach(testbed, "/dev/bus/usb/001/003");
    g_object_unref(testbed);
}
