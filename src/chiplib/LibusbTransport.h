#pragma once

#include "UsbTransport.h"

struct libusb_context;
struct libusb_device;

// UsbTransport over libusb-1.0. Names, serial number and removability come from sysfs,
// which needs no open device. Root hubs are not listed.
// open() finds the device in what the last enumerate() listed, so a walk over the listed
// devices lists the bus once; the context keeps itself current between enumerations
// (libusb follows arrivals and removals). Use from one thread at a time.
class LibusbTransport : public UsbTransport {
public:
    LibusbTransport();
    ~LibusbTransport() override;
    LibusbTransport(const LibusbTransport&) = delete;
    LibusbTransport& operator=(const LibusbTransport&) = delete;

    bool enumerate(QList<UsbDeviceEntry>* devices) override;
    std::unique_ptr<UsbDeviceHandle> open(const UsbDeviceEntry& device, int* error) override;

private:
    void releaseListed();

    libusb_context* m_context = nullptr;
    int m_initError = 0;
    // From the last enumerate(); each holds a reference until the next one.
    libusb_device** m_listed = nullptr;
    qsizetype m_listedCount = 0;
};
