#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <memory>

// One attached USB device as the bridge-chip library sees it.
struct UsbDeviceEntry {
    quint16 vendorId = 0;
    quint16 productId = 0;
    int busNumber = 0;
    QList<int> ports; // from the root hub down
    QString vendorName;
    QString productName;
    QString serialNumber;
    bool builtIn = false;
};

// An opened device; destroying it closes the device.
class UsbDeviceHandle {
public:
    virtual ~UsbDeviceHandle() = default;
    // Device-to-host control transfer. Returns the bytes read, or a negative error code
    // (a timeout is an error).
    virtual int controlIn(quint8 requestType, quint8 request, quint16 value, quint16 index, quint8* data,
                          quint16 length, std::chrono::milliseconds timeout) = 0;
};

// The seam between the library and the USB stack, so tests answer without hardware.
class UsbTransport {
public:
    virtual ~UsbTransport() = default;
    // False when the USB stack could not be reached at all.
    virtual bool enumerate(QList<UsbDeviceEntry>* devices) = 0;
    // Null on failure, with *error set to a negative code.
    virtual std::unique_ptr<UsbDeviceHandle> open(const UsbDeviceEntry& device, int* error) = 0;
};
