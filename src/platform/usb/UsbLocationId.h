#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// The 32-bit location of a USB device: bus number in the top byte, then one nibble per
// port along the path from the root hub. Every component that names a device by
// location uses these functions, so the same device always gets the same number.
class UsbLocationId {
public:
    // Ports above 15 do not fit a nibble; they are stored as 0xF, so lower ports stay
    // unique. Paths deeper than six ports keep their first six.
    static quint32 fromPorts(int busNumber, const QList<int>& ports);

    // busNumber: sysfs "busnum"; devpath: sysfs "devpath" ("2.3"; "0" for a root hub).
    static quint32 fromSysfs(int busNumber, const QString& devpath);

    // The last path component of a usb_device syspath: "1-2.3" or "usb1" (root hub).
    // Returns 0 when the name is neither.
    static quint32 fromSyspath(const QString& syspath);

    // "0x%08X"
    static QString toText(quint32 locationId);
};
