// The real libusb path, with umockdev standing in for the kernel's usbfs.
#include "BridgeFwUpdate_Lib.h"
#include "LibusbTransport.h"
#include "UsbLocationId.h"
#include "UsbfsControlResponder.h"

#include <gtest/gtest.h>

#include <umockdev.h>

#include <algorithm>

namespace {

// add_device makes no /dev file, so devices come from the text form, nodes included.
void addUsbDevice(UMockdevTestbed* testbed, const QByteArray& sysPath, int bus, int dev, const QByteArray& descriptors)
{
    const QByteArray node = QString::asprintf("bus/usb/%03d/%03d", bus, dev).toUtf8();
    const QByteArray text = "P: " + sysPath + "\nN: " + node + "\nE: SUBSYSTEM=usb\nE: DEVNAME=/dev/" + node +
                            "\nE: DEVTYPE=usb_device\nA: busnum=" + QByteArray::number(bus) +
                            "\\n\nA: devnum=" + QByteArray::number(dev) +
                            "\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\nA: serial=ZV0001\\n\nA: removable=removable\\n\nH: descriptors=" +
                            descriptors.toHex() + "\n";
    ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, text.constData(), nullptr)) << text.constData();
}

QByteArray descriptors(quint16 vid, quint16 pid, quint8 deviceClass)
{
    const quint8 device[18] = {18, 1, 0, 2, deviceClass, 0, 0, 64, quint8(vid), quint8(vid >> 8), quint8(pid),
                               quint8(pid >> 8), 0, 1, 1, 2, 3, 1};
    const quint8 config[18] = {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 8, 6, 0x50, 0};
    return QByteArray(reinterpret_cast<const char*>(device), 18) + QByteArray(reinterpret_cast<const char*>(config), 18);
}

} // namespace

TEST(LibusbTransportTestbedTest, PressedDriveAnswersThroughLibusb)
{
    if (!qgetenv("LD_PRELOAD").contains("libumockdev-preload"))
        GTEST_SKIP() << "needs the umockdev preload library (run through ctest or umockdev-wrapper)";
    UMockdevTestbed* testbed = umockdev_testbed_new();
    UsbfsControlResponder drive([](const unsigned char*, unsigned char* data, int length) {
        const unsigned char pressed[4] = {0xAA, 0xAA, 0, 0};
        std::copy_n(pressed, std::min(length, 4), data);
        return std::min(length, 4);
    });
    ASSERT_TRUE(drive.attach(testbed, "/dev/bus/usb/002/007"));
    addUsbDevice(testbed, "/devices/usb2", 2, 1, descriptors(0x1d6b, 2, 9));
    addUsbDevice(testbed, "/devices/usb2/2-1", 2, 2, descriptors(0x05e3, 0x0608, 9));
    addUsbDevice(testbed, "/devices/usb2/2-1/2-1.4", 2, 7, descriptors(0x4d5c, 0x5106, 0));

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
