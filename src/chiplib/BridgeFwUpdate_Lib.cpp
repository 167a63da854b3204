#include "BridgeFwUpdate_Lib.h"

#include "LibusbTransport.h"
#include "OtbScan.h"

#include <QLoggingCategory>

#include <algorithm>
#include <exception>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcChiplib)

qint32 BridgeFwUpdate_Lib::GetOTBStatus2(qint32 status[4], qint32 locationID[4])
{
    LibusbTransport transport;
    return GetOTBStatus2(transport, status, locationID);
}

qint32 BridgeFwUpdate_Lib::GetOTBStatus2(UsbTransport& transport, qint32 status[4], qint32 locationID[4],
                                         QList<UsbDeviceEntry>* unopened)
{
    std::fill(status, status + kOtbSlots, kOtbUnknown);
    std::fill(locationID, locationID + kOtbSlots, 0);
    // The poll runs on a timer thread: nothing may escape from it, and presets stand on failure.
    try {
        QList<UsbDeviceEntry> devices;
        if (!transport.enumerate(&devices)) {
            qCWarning(lcChiplib, "Couldn't set up notification");
            return -1;
        }
        OtbScanBlock block{};
        scanOtbDevices(block, transport, devices, unopened);
        std::copy(block, block + kOtbSlots, status);
        std::copy(block + kOtbSlots, block + 2 * kOtbSlots, locationID);
        return 0;
    } catch (const std::exception& e) {
        qCWarning(lcChiplib, "exception:%s", e.what());
    } catch (...) {
        qCWarning(lcChiplib, "exception:unknown");
    }
    return -1;
}

qint32 BridgeFwUpdate_Lib::GetOTBStatus(quint16 vendorId, quint16 productId, qint32* status, qint32 selDev)
{
    LibusbTransport transport;
    return GetOTBStatus(transport, vendorId, productId, status, selDev);
}

qint32 BridgeFwUpdate_Lib::GetOTBStatus(UsbTransport& transport, quint16 vendorId, quint16 productId, qint32* status,
                                        qint32 selDev)
{
    const auto list = std::make_unique<USBDevList_>();
    getUSBDevList(transport, list.get());
    *status = kOtbUnknown;
    if (selDev < 0 || selDev >= list->count)
        return -10;
    int matches = 0;
    for (int i = 0; i < list->count; ++i) {
        const USBDevInfo_& r = list->devices[i];
        if (((r.vendorId[0] << 8) | r.vendorId[1]) == vendorId && ((r.productId[0] << 8) | r.productId[1]) == productId)
            ++matches;
    }
    if (selDev >= matches)
        return -10;

    // Failure until the walk says otherwise, so an exception cannot pass for a read.
    qint32 result = -1;
    try {
        result = getOtbStatusFiltered(transport, vendorId, productId, status, selDev);
    } catch (const std::exception& e) {
        qCWarning(lcChiplib, "exception:%s", e.what());
    } catch (...) {
        qCWarning(lcChiplib, "exception:unknown");
    }
    qCDebug(lcChiplib, "finally, vid:%x, pid%x, selDev:%d", vendorId, productId, selDev);
    return result;
}
