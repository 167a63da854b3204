#pragma once

#include "UsbDeviceInfo.h"

// Told on the GUI thread when a USB device comes or goes.
class USBWatcherDelegate {
public:
    virtual ~USBWatcherDelegate() = default;
    virtual void deviceAdded(const UsbDeviceInfo& device) = 0;
    virtual void deviceRemoved(const UsbDeviceInfo& device) = 0;
};
