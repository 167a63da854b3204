#pragma once

#include <QtGlobal>

// One record of the device list, field for field as the library's callers lay it out.
struct USBDevInfo_ {
    quint8 vendorId[255];  // [0] high byte, [1] low byte
    quint8 productId[255]; // [0] high byte, [1] low byte
    char vendorName[255];  // UTF-8, zero-padded
    char productName[255];
    char serialNumber[255]; // first 20 bytes filled
    qint32 vendorNameLength;
    qint32 productNameLength;
    qint32 serialNumberLength;
    quint8 valid;
    qint32 locationID;
};

struct USBDevList_ {
    static constexpr int kMaxDevices = 80;
    qint32 count;
    USBDevInfo_ devices[kMaxDevices];
};
