#pragma once

#include "UsbTransport.h"

#include <QtGlobal>

// Reads the one-touch-backup button state that the maker's bridge chips report. Every call
// is synchronous and keeps nothing open afterwards. The transport overloads exist for tests.
class BridgeFwUpdate_Lib {
public:
    // Up to four answering devices: status 5 pressed, 6 released, 7 otherwise, with their
    // location IDs; empty slots hold 7 and 0. Returns 0, or -1 when USB could not be reached.
    static qint32 GetOTBStatus2(qint32 status[4], qint32 locationID[4]);
    // `unopened`, when given, receives the devices that could not be opened (no permission).
    static qint32 GetOTBStatus2(UsbTransport& transport, qint32 status[4], qint32 locationID[4],
                                QList<UsbDeviceEntry>* unopened = nullptr);

    // One device chosen by ids and ordinal (from 0). Returns 0 status read, -1 failure,
    // -3 selected device not found, -4 no device seen, -10 selection out of range.
    static qint32 GetOTBStatus(quint16 vendorId, quint16 productId, qint32* status, qint32 selDev);
    static qint32 GetOTBStatus(UsbTransport& transport, quint16 vendorId, quint16 productId, qint32* status,
                               qint32 selDev);
};
