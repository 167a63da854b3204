#pragma once

#include <QtGlobal>

// One bridge matched with its USB device, field for field as the library's callers lay it out.
struct USBDevInfoExp_ {
    quint8 vendorId[255];  // [0] high byte, [1] low byte
    quint8 productId[255]; // [0] high byte, [1] low byte
    char vendorName[255];
    char productName[255];
    char serialNumber[255];
    quint8 firmwareVersion[255]; // first 6 bytes of the version register
    qint32 locationID;
};

struct USBDevListExp_ {
    static constexpr int kMaxDevices = 32;
    qint32 count;
    USBDevInfoExp_ devices[kMaxDevices];
};
