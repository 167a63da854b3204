#pragma once

#include "USBDevList.h"
#include "UsbTransport.h"

#include <QList>
#include <QtGlobal>

#include <chrono>

// A silent device counts as a failed request instead of stalling the 300 ms poll.
inline constexpr std::chrono::milliseconds kOtbRequestTimeout{100};

inline constexpr qint32 kOtbPressed = 5;
inline constexpr qint32 kOtbReleased = 6;
inline constexpr qint32 kOtbUnknown = 7;
inline constexpr int kOtbSlots = 4;

// Entries 0-3: statuses; 4-7: location IDs of the same slots.
using OtbScanBlock = qint32[2 * kOtbSlots];

struct OtbFilterContext {
    quint16 vendorId = 0;
    quint16 productId = 0;
    quint16 outcome = 0; // '.', '/', '1' or '2'
    quint16 status = 0;
    quint16 selDev = 0;
};

// The status code for a reply's first two bytes.
qint32 otbStatusFromReply(const quint8 reply[4]);

// The device's location ID as every other component computes it.
qint32 otbLocationId(const UsbDeviceEntry& device);

// 0 on success, else the transport's negative code. The reply is zeroed first.
int requestOtbStatus(UsbDeviceHandle& device, quint8 reply[4]);

// Fills up to four slots with the devices whose request succeeds, in list order; further
// answering devices are ignored. Does nothing when block is null. Devices that could not be
// opened go to `unopened` when given.
void scanOtbDevices(qint32* block, UsbTransport& transport, const QList<UsbDeviceEntry>& devices,
                    QList<UsbDeviceEntry>* unopened = nullptr);

// Reads the selected matching device; stops at it whether or not it opens. Does nothing
// when context is null.
void scanOtbDevicesFiltered(OtbFilterContext* context, UsbTransport& transport,
                            const QList<UsbDeviceEntry>& devices);

// 0 status read, -1 failure, -3 selected device not found, -4 no device seen.
qint32 getOtbStatusFiltered(UsbTransport& transport, quint16 vendorId, quint16 productId, qint32* status,
                            qint32 selDev);

void getUSBDevList(UsbTransport& transport, USBDevList_* list);
