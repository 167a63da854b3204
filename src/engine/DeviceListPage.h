#pragma once

#include <QList>
#include <QMap>
#include <QString>

// The My Device page as the main window drives it after USB arrivals and removals.
class DeviceListPage {
public:
    virtual ~DeviceListPage() = default;
    virtual void setDeviceShouldHave(int count) = 0;
    // senderTag 0 after an arrival (retries while fewer drives than expected), 9 after a removal.
    virtual void refreshDeviceList(int senderTag) = 0;
    // One map per listed drive; the key "location" holds the USB location id as "0x%08X".
    virtual QList<QMap<QString, QString>> deviceArray() const = 0;
};
