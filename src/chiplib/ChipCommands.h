#pragma once

#include "SCSI_Req.h"
#include "ScsiTransport.h"

#include <QtGlobal>

#include <chrono>

// The bridge chip's commands on an open channel. Each returns 0 or the failure's code
// (ScsiResult) after printing its message; buffers the chip fills are zeroed first.

inline constexpr std::chrono::milliseconds kScsiTimeout { 10000 };
// Writing the EEPROM takes the chip far longer than any other command.
inline constexpr std::chrono::milliseconds kEepromTimeout { 60000 };

inline constexpr quint16 kVersionRegister = 0x07F0;
inline constexpr quint16 kClockRegister = 0xC8FF;
inline constexpr int kVersionLength = 7;
inline constexpr int kConfigLength = 128;
inline constexpr int kSerialLength = 20;
inline constexpr int kInquiryLength = 38;
inline constexpr int kAtaIdentifyLength = 512;
inline constexpr int kNvmeIdentifyLength = 4096;

// Sends one request through SG_IO. Success needs the kernel to take it and the command to
// end with GOOD status, no host or driver error, no sense beyond a recovered error, and
// every byte moved. An incoming buffer is zeroed before the command.
qint32 sendScsiRequest(ScsiDeviceHandle& device, const SCSI_Req_& request,
                       std::chrono::milliseconds timeout = kScsiTimeout);

qint32 registerRead(ScsiDeviceHandle& device, quint16 address, quint8* buffer, quint8 n);
qint32 ataIdentify(ScsiDeviceHandle& device, quint8* buffer, quint32 n);
qint32 nvmeIdentify(ScsiDeviceHandle& device, quint8* buffer, quint32 n);
qint32 vendorConfigRead(ScsiDeviceHandle& device, quint8 buffer[kConfigLength], quint8 index);
qint32 vendorConfigWrite(ScsiDeviceHandle& device, const quint8 buffer[kConfigLength], quint8 index);
// length: the image size plus its four framing bytes.
qint32 vendorSetEEPROM(ScsiDeviceHandle& device, const quint8* buffer, quint32 length, quint8 index);
qint32 cpuReset(ScsiDeviceHandle& device);
// 0 when INQUIRY names the chip, -1 for another chip, else the INQUIRY's failure.
qint32 checkChip2105(ScsiDeviceHandle& device);
qint32 checkChip2360(ScsiDeviceHandle& device);
