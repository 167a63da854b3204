#pragma once

// USB devices in a umockdev testbed, for the libusb path. Header-only, so the benchmarks
// build the same devices.

#include <QByteArray>
#include <QString>

#include <umockdev.h>

// A device's descriptors as usbfs hands them out: the device descriptor, then one
// configuration with one interface and no endpoints.
inline QByteArray usbDescriptors(quint16 vid, quint16 pid, quint8 deviceClass)
{
    const quint8 device[18] = {18, 1, 0, 2, deviceClass, 0, 0, 64, quint8(vid), quint8(vid >> 8), quint8(pid),
                               quint8(pid >> 8), 0, 1, 1, 2, 3, 1};
    const quint8 config[18] = {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 8, 6, 0x50, 0};
    return QByteArray(reinterpret_cast<const char*>(device), 18) + QByteArray(reinterpret_cast<const char*>(config), 18);
}

// The node under /dev of a device, without the leading "/dev/".
inline QByteArray usbNode(int bus, int dev)
{
    return QString::asprintf("bus/usb/%03d/%03d", bus, dev).toUtf8();
}

// Adds a usb_device at `sysPath` (e.g. "/devices/usb2/2-1"). add_device makes no /dev
// file, so the device goes in through the text form, node included. False on failure.
inline bool addUsbDevice(UMockdevTestbed* testbed, const QByteArray& sysPath, int bus, int dev,
                         const QByteArray& descriptors)
{
    const QByteArray node = usbNode(bus, dev);
    const QByteArray text = "P: " + sysPath + "\nN: " + node + "\nE: SUBSYSTEM=usb\nE: DEVNAME=/dev/" + node +
                            "\nE: DEVTYPE=usb_device\nA: busnum=" + QByteArray::number(bus) +
                            "\\n\nA: devnum=" + QByteArray::number(dev) +
                            "\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\nA: serial=ZV0001\\n\nA: removable=removable\\n\nH: descriptors=" +
                            descriptors.toHex() + "\n";
    return umockdev_testbed_add_from_string(testbed, text.constData(), nullptr);
}

// True when the umockdev preload library is active, without which a testbed is not seen.
inline bool umockdevPreloaded()
{
    return qgetenv("LD_PRELOAD").contains("libumockdev-preload");
}
