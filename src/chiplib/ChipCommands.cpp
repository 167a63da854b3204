#include "ChipCommands.h"

#include "ChipLog.h"
#include "ScsiResult.h"

#include <cstring>

namespace {

constexpr quint8 kStatusGood = 0x00;
constexpr quint8 kDriverSense = 0x08; // not in the C library's headers
constexpr quint8 kSenseNone = 0x0;
constexpr quint8 kSenseRecovered = 0x1;

quint8 senseKey(const quint8* sense, int length)
{
    if (length < 3)
        return kSenseNone;
    const quint8 format = sense[0] & 0x7F;
    if (format == 0x72 || format == 0x73) // descriptor format
        return sense[1] & 0x0F;
    return sense[2] & 0x0F;
}

qint32 checkChip(ScsiDeviceHandle& device, quint8 low, quint8 high, const char* chip)
{
    quint8 inquiry[kInquiryLength];
    const qint32 r = sendScsiRequest(
        device, SCSI_Req_::make({ 0x12, 0x00, 0x00, 0x00, kInquiryLength, 0x00 }, SCSI_Req_::kIn, inquiry, kInquiryLength));
    if (r != 0) {
        qCWarning(lcChiplib, "Check %s command returned 0x%08x Error", chip, unsigned(r));
        return r;
    }
    // The chip number as a little-endian value at the end of the vendor-specific bytes.
    return inquiry[36] == low && inquiry[37] == high ? 0 : -1;
}

} // namespace

qint32 sendScsiRequest(ScsiDeviceHandle& device, const SCSI_Req_& request, std::chrono::milliseconds timeout)
{
    const quint64 length = request.transferLength;
    void* data = reinterpret_cast<void*>(quintptr(request.buffer));
    const bool lengthOk = request.cdbLength == 6 || request.cdbLength == 10 || request.cdbLength == 12
        || request.cdbLength == 16;
    const bool directionOk = request.direction == SCSI_Req_::kNone
        ? length == 0
        : (request.direction == SCSI_Req_::kIn || request.direction == SCSI_Req_::kOut)
            && length > 0 && length <= 0x7FFFFFFF && data;
    if (!lengthOk || !directionOk)
        return ScsiResult::badRequest();

    quint8 cdb[16] {};
    for (quint64 i = 0; i < request.cdbLength; ++i)
        cdb[i] = quint8(request.cdb[i]);
    quint8 sense[32] {};
    if (request.direction == SCSI_Req_::kIn)
        std::memset(data, 0, size_t(length));

    sg_io_hdr_t header {};
    header.interface_id = 'S';
    header.dxfer_direction = request.direction == SCSI_Req_::kIn ? SG_DXFER_FROM_DEV
        : request.direction == SCSI_Req_::kOut                   ? SG_DXFER_TO_DEV
                                                                 : SG_DXFER_NONE;
    header.cmd_len = quint8(request.cdbLength);
    header.cmdp = cdb;
    header.dxfer_len = unsigned(length);
    header.dxferp = length ? data : nullptr;
    header.mx_sb_len = quint8(sizeof sense);
    header.sbp = sense;
    header.timeout = unsigned(timeout.count());

    if (const int r = device.sgIo(header); r < 0)
        return ScsiResult::systemError(-r);
    const quint8 key = senseKey(sense, std::min<int>(header.sb_len_wr, int(sizeof sense)));
    if (header.status != kStatusGood)
        return ScsiResult::deviceStatus(header.status, key);
    if (header.host_status != 0 || (header.driver_status & ~kDriverSense) != 0)
        return ScsiResult::transportError(quint8(header.host_status), quint8(header.driver_status));
    if (header.sb_len_wr > 0 && key != kSenseNone && key != kSenseRecovered)
        return ScsiResult::deviceStatus(header.status, key);
    if (header.resid != 0)
        return ScsiResult::shortTransfer(header.resid);
    return 0;
}

qint32 registerRead(ScsiDeviceHandle& device, quint16 address, quint8* buffer, quint8 n)
{
    const qint32 r = sendScsiRequest(
        device, SCSI_Req_::make({ 0xE4, n, 0x00, quint8(address >> 8), quint8(address), 0x00 }, SCSI_Req_::kIn, buffer, n));
    if (r != 0)
        qCWarning(lcChiplib, "Register Read command returned 0x%08x Error", unsigned(r));
    return r;
}

qint32 ataIdentify(ScsiDeviceHandle& device, quint8* buffer, quint32 n)
{
    const qint32 r = sendScsiRequest(device,
                                     SCSI_Req_::make({ 0xA1, 0x08, 0x0D, 0x01, 0x00, 0x00, 0x00, 0x00, 0x16, 0xEC, 0x00,
                                                       0x00 },
                                                     SCSI_Req_::kIn, buffer, n));
    if (r != 0)
        qCWarning(lcChiplib, "pass through command returned 0x%08x Error", unsigned(r));
    return r;
}

qint32 nvmeIdentify(ScsiDeviceHandle& device, quint8* buffer, quint32 n)
{
    const qint32 r = sendScsiRequest(device,
                                     SCSI_Req_::make({ 0xE6, 0x06, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 },
                                                     SCSI_Req_::kIn, buffer, n));
    if (r != 0)
        qCWarning(lcChiplib, "nvme identify command returned 0x%08x Error", unsigned(r));
    return r;
}

qint32 vendorConfigRead(ScsiDeviceHandle& device, quint8 buffer[kConfigLength], quint8 index)
{
    const qint32 r = sendScsiRequest(
        device, SCSI_Req_::make({ 0xE0, index, 0x00, 0x00, 0x00, 0x00 }, SCSI_Req_::kIn, buffer, kConfigLength));
    if (r != 0)
        qCWarning(lcChiplib, "Vendor Config Read command returned 0x%08x.", unsigned(r));
    return r;
}

qint32 vendorConfigWrite(ScsiDeviceHandle& device, const quint8 buffer[kConfigLength], quint8 index)
{
    return sendScsiRequest(
        device, SCSI_Req_::make({ 0xE1, index, 0x00, 0x00, 0x00, 0x00 }, SCSI_Req_::kOut, buffer, kConfigLength));
}

qint32 vendorSetEEPROM(ScsiDeviceHandle& device, const quint8* buffer, quint32 length, quint8 index)
{
    const qint32 r = sendScsiRequest(
        device, SCSI_Req_::make({ 0xE3, index, 0x00, 0x00, 0x00, 0x00 }, SCSI_Req_::kOut, buffer, length),
        kEepromTimeout);
    if (r != 0)
        qCWarning(lcChiplib, "Vendor SetEEPROM command returned 0x%08x.", unsigned(r));
    return r;
}

qint32 cpuReset(ScsiDeviceHandle& device)
{
    const qint32 r =
        sendScsiRequest(device, SCSI_Req_::make({ 0xE8, 0x00, 0x00, 0x00, 0x00, 0x00 }, SCSI_Req_::kNone, nullptr, 0));
    if (r != 0)
        qCWarning(lcChiplib, "CPU Reset command returned 0x%08x Error", unsigned(r));
    return r;
}

qint32 checkChip2105(ScsiDeviceHandle& device)
{
    return checkChip(device, 0x05, 0x21, "2105");
}

qint32 checkChip2360(ScsiDeviceHandle& device)
{
    return checkChip(device, 0x60, 0x23, "2360");
}
