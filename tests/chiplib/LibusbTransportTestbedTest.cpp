// The real libusb path, with umockdev standing in for the kernel's usbfs.
#include "BridgeFwUpdate_Lib.h"
#include "LibusbTransport.h"
#include "UsbLocationId.h"

#include <gtest/gtest.h>

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace {

// Answers libusb's submit/reap pair for control transfers with a fixed status reply.
struct UsbfsDevice {
    std::mutex lock;
    UMockdevIoctlData* pending = nullptr;
    QByteArray lastSetup;
    quint8 answer[4] = {0xAA, 0xAA, 0, 0};

    static gboolean handle(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        return static_cast<UsbfsDevice*>(self)->ioctl(client);
    }

    gboolean ioctl(UMockdevIoctlClient* client)
    {
        std::lock_guard<std::mutex> guard(lock);
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        if (request == USBDEVFS_SUBMITURB) {
            UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
            auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
            UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                                    gsize(urb->buffer_length), nullptr);
            lastSetup = QByteArray(reinterpret_cast<const char*>(buffer->data), 8);
            const int n = std::min(urb->buffer_length - 8, 4);
            umockdev_ioctl_data_update(buffer, 8, answer, n);
            g_object_unref(buffer);
            urb->actual_length = n;
            urb->status = 0;
            if (pending)
                g_object_unref(pending);
            pending = urbData; // keeps the reference from resolve
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
            if (!pending) {
                umockdev_ioctl_client_complete(client, -1, EAGAIN);
                return TRUE;
            }
            UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
            umockdev_ioctl_data_set_ptr(slot, 0, pending);
            g_object_unref(slot);
            g_object_unref(pending);
            pending = nullptr;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
};

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
    UsbfsDevice usbfs;
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect_after(handler, "handle-ioctl", G_CALLBACK(UsbfsDevice::handle), &usbfs);
    ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed, "/dev/bus/usb/002/007", handler, nullptr));
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
    {
        std::lock_guard<std::mutex> guard(usbfs.lock);
        EXPECT_EQ(usbfs.lastSetup.toHex(), QByteArray("8006ff0301000400"));
    }

    umockdev_testbed_detach_ioctl(testbed, "/dev/bus/usb/002/007", nullptr);
    g_object_unref(handler);
    g_object_unref(testbed);
}
