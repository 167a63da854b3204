#include "OtbScan.h"

#include "UsbLocationId.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstring>

// Per-device failures repeat on every 300 ms poll, so they are off by default.
Q_LOGGING_CATEGORY(lcChiplib, "zorvi.chiplib", QtWarningMsg)

qint32 otbStatusFromReply(const quint8 reply[4])
{
    if (reply[0] == 0xAA && reply[1] == 0xAA)
        return kOtbPressed;
    if (reply[0] == 0x55 && reply[1] == 0x55)
        return kOtbReleased;
    return kOtbUnknown;
}

qint32 otbLocationId(const UsbDeviceEntry& device)
{
    return qint32(UsbLocationId::fromPorts(device.busNumber, device.ports));
}

int requestOtbStatus(UsbDeviceHandle& device, quint8 reply[4])
{
    std::memset(reply, 0, 4);
    // GET_DESCRIPTOR, string 0xFF, with 1 where the language id goes: the chip's button state.
    const int n = device.controlIn(0x80, 6, 0x03FF, 1, reply, 4, kOtbRequestTimeout);
    return n < 0 ? n : 0;
}

void scanOtbDevices(qint32* block, UsbTransport& transport, const QList<UsbDeviceEntry>& devices,
                    QList<UsbDeviceEntry>* unopened)
{
    if (!block)
        return;
    std::fill(block, block + kOtbSlots, kOtbUnknown);
    int slot = 0;
    for (const UsbDeviceEntry& device : devices) {
        if (slot >= kOtbSlots)
            break;
        int error = 0;
        const std::unique_ptr<UsbDeviceHandle> handle = transport.open(device, &error);
        if (!handle) {
            qCDebug(lcChiplib, "Unable to open device: %08x", unsigned(error));
            if (unopened)
                unopened->append(device);
            continue;
        }
        quint8 reply[4];
        const int result = requestOtbStatus(*handle, reply);
        if (result != 0) {
            qCDebug(lcChiplib, "request otb status fail:%08x", unsigned(result));
            continue;
        }
        block[slot] = otbStatusFromReply(reply);
        block[kOtbSlots + slot] = otbLocationId(device);
        ++slot;
    }
}

void scanOtbDevicesFiltered(OtbFilterContext* context, UsbTransport& transport, const QList<UsbDeviceEntry>& devices)
{
    if (!context)
        return;
    context->outcome = '.';
    context->status = kOtbUnknown;
    int ordinal = 0;
    for (const UsbDeviceEntry& device : devices) {
        if (device.serialNumber.isEmpty())
            continue;
        if (device.vendorId != context->vendorId || device.productId != context->productId) {
            qCDebug(lcChiplib, "Found unwanted device (vendor = 0x%04X, product = 0x%04X)", device.vendorId,
                    device.productId);
            context->outcome = '/';
            continue;
        }
        if (ordinal != context->selDev) {
            qCDebug(lcChiplib, "%d:%d nxt", ordinal, int(context->selDev));
            context->outcome = '/';
            ++ordinal;
            continue;
        }
        int error = 0;
        const std::unique_ptr<UsbDeviceHandle> handle = transport.open(device, &error);
        // The selected device answers or the call fails: another drive must not answer for it.
        if (!handle) {
            qCDebug(lcChiplib, "Unable to open device: %08x", unsigned(error));
            context->outcome = '1';
            return;
        }
        quint8 reply[4];
        context->outcome = requestOtbStatus(*handle, reply) == 0 ? '2' : '1';
        context->status = quint16(otbStatusFromReply(reply));
        return;
    }
}

qint32 getOtbStatusFiltered(UsbTransport& transport, quint16 vendorId, quint16 productId, qint32* status,
                            qint32 selDev)
{
    *status = kOtbUnknown;
    OtbFilterContext context;
    context.vendorId = vendorId;
    context.productId = productId;
    context.selDev = quint16(selDev);
    QList<UsbDeviceEntry> devices;
    if (!transport.enumerate(&devices)) {
        qCWarning(lcChiplib, "Couldn't set up notification");
        return -1;
    }
    scanOtbDevicesFiltered(&context, transport, devices);
    *status = context.status;
    return qint32(context.outcome) - '2';
}

namespace {

qint32 copyText(char* field, const QString& text, int limit)
{
    const QByteArray bytes = text.toUtf8();
    const int n = std::min<int>(int(bytes.size()), limit);
    std::memcpy(field, bytes.constData(), size_t(n));
    return qint32(bytes.size());
}

} // namespace

void getUSBDevList(UsbTransport& transport, USBDevList_* list)
{
    std::memset(list, 0, sizeof *list);
    QList<UsbDeviceEntry> devices;
    if (!transport.enumerate(&devices)) {
        qCWarning(lcChiplib, "IOServiceGetMatchingServices returned 0x%08x", unsigned(-1));
        return;
    }
    int count = 0;
    for (const UsbDeviceEntry& device : devices) {
        if (count >= USBDevList_::kMaxDevices)
            break;
        if (device.builtIn || device.serialNumber.isEmpty())
            continue;
        USBDevInfo_& r = list->devices[count];
        r.locationID = otbLocationId(device);
        r.productNameLength = copyText(r.productName, device.productName, int(sizeof r.productName));
        r.vendorNameLength = copyText(r.vendorName, device.vendorName, int(sizeof r.vendorName));
        r.productId[0] = quint8(device.productId >> 8);
        r.productId[1] = quint8(device.productId & 0xFF);
        r.vendorId[0] = quint8(device.vendorId >> 8);
        r.vendorId[1] = quint8(device.vendorId & 0xFF);
        r.serialNumberLength = copyText(r.serialNumber, device.serialNumber, 20);
        r.valid = 1;
        ++count;
    }
    list->count = count;
}
