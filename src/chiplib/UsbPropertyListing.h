#pragma once

#include <QString>

// A text listing of the attached USB devices from udev, one block per device:
//
//   +-o Zorvi Disk@01240000  <usb_device 2-1.4>
//     {
//       idVendor = 0x4d5a
//       idProduct = 0x7000
//       Built-In = No
//       ...
//     }
//
// "idProduct" comes before "Built-In" in every block, and each block's values sit between
// its "{" and "}". Devices are ordered by location.
class UsbPropertyListing {
public:
    static QString text();
};
