#pragma once

#include "SystemRoots.h"

#include <QByteArray>
#include <QVariantList>

// The USB device tree in the layout of the "SPUSBDataType" system report, read from
// sysfs, the udev database and the mount table. Its XML form is a property list:
//
//   [ { "_dataType": "SPUSBDataType", "_items": [ <root hub>... ] } ]
//   root hub: "_name", "host_controller", "pci_vendor", ["pci_device"], ["_items"]
//   device:   "_name", "vendor_id" ("0x4d5a"), "product_id" ("0x7000"),
//             "location_id" ("0x01230000 / 5"), ["manufacturer"], ["serial_num"],
//             ["Media"], ["_items"]
//   medium:   "_name", "bsd_name" ("sdb"), "size_in_bytes", "removable_media", ["volumes"]
//   volume:   "_name", "bsd_name" ("sdb1"), "size_in_bytes", ["file_system"], ["mount_point"]
class UsbDeviceReport {
public:
    explicit UsbDeviceReport(SystemRoots roots = SystemRoots());

    // The report's top-level array (always one dictionary, maybe with no "_items").
    QVariantList items() const;
    // items() as a property-list XML document.
    QByteArray xml() const;

    // Maps become <dict>, lists <array>, integers <integer>, booleans <true/>/<false/>,
    // everything else <string>.
    static QByteArray toPlist(const QVariantList& items);

private:
    SystemRoots roots_;
};
