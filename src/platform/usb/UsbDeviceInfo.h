#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

// What the USB monitor tells about one attached (or just removed) USB device.
struct UsbDeviceInfo {
    QString syspath;    // identity of the device while attached
    QString name;       // sysfs "product", else the udev ID_MODEL property
    QString vendorName; // sysfs "manufacturer", else ID_VENDOR
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString serialNr;   // sysfs "serial", may be empty
    quint32 locationId = 0;
    int busNumber = 0;
    int deviceAddress = 0;
    QString devnode;    // /dev/bus/usb/BBB/DDD when known
};

Q_DECLARE_METATYPE(UsbDeviceInfo)
