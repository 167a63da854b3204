#pragma once

#include "UsbTransport.h"

struct libusb_context;

// UsbTransport over libusb-1.0. Names, serial number and removability come from sysfs,
// which needs no open device. Root hubs are not listed.
class LibusbTransport : public UsbTransport {
public:
    LibusbTransport();
    ~LibusbTransport() override;
    LibusbTransport(const LibusbTransport&) = delete;
    LibusbTransport& operator=(const LibusbTransport&) = delete;

    bool enumerate(QList<UsbDeviceEntry>* devices) override;
    std::unique_ptr<UsbDeviceHandle> open(const UsbDeviceEntry& device, int* error) override;

private:
    libusb_context* m_context = nullptr;
    int m_initError = 0;
};
