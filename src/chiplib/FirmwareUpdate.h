#pragma once

#include "ChipCommands.h"
#include "ScsiTransport.h"

#include <QByteArray>
#include <QString>

// Firmware version read and firmware image write on 2105 bridges.
//
// Not reentrant: the operations share the process-wide state below, so only one of them
// may run at a time in the process.

struct FirmwareState {
    QString imagePath; // of the image last read
    qint64 imageSize = 0;
    quint8 clockRegister = 0;
    quint8 config[kConfigLength] {};
    quint8 version[kVersionLength] {};
    QByteArray versionText; // 14 lower-case hex digits, byte 0 first
};
FirmwareState& firmwareState();

// The image's size travels in a 16-bit header field.
inline constexpr qint64 kMaxImageSize = 0xFFFF;

// The trailer code for the clock register's bits 6, 5 and 4.
quint8 firmwareClockCode(quint8 clockRegister);

// Into the process-wide version bytes and text.
qint32 readFirmwareVersion(ScsiDeviceHandle& device);
qint32 readVersionBytes(ScsiDeviceHandle& device, quint8 out[kVersionLength]);

// Reads the image file whole, once, and records its path and size. -1 ("Bin File Error!")
// when it is missing, empty, unreadable or too large for the header.
qint32 loadFirmwareImage(const QString& path, QByteArray* image);
// What the EEPROM command carries: [LE16 size][image][clock code][8-bit sum of the image].
QByteArray eepromImageBuffer(const QByteArray& image, quint8 clockCode);

// Clock register, configuration table read and written back, EEPROM write, and with reset
// the CPU reset. Stops at the first failure and returns its code; the image must come
// from loadFirmwareImage.
qint32 writeFirmwareImage(ScsiDeviceHandle& device, const QByteArray& image, bool reset);
// The image last read by loadFirmwareImage, read again; refused (-1) when the file's size
// changed since. Always resets.
qint32 writeStoredFirmwareImage(ScsiDeviceHandle& device);

// Version byte 4 of the chip is 0x00 or 0xFF.
bool checkChipCustomerId(ScsiTransport& transport, const ScsiBridgeNode& node);
// The two characters at offset 18 ("BR_PCIE_" names) or 10 of the file name are "00" or
// "FF"; a name too short to hold them fails.
bool checkImageCustomerId(const QString& path);

qint32 writeFirmwareOnService(ScsiTransport& transport, const ScsiBridgeNode& node, const QByteArray& image);
qint32 writeFirmwareNoResetOnService(ScsiTransport& transport, const ScsiBridgeNode& node, const QByteArray& image);
qint32 writeStoredFirmwareOnService(ScsiTransport& transport, const ScsiBridgeNode& node);
qint32 readVersionOnService(ScsiTransport& transport, const ScsiBridgeNode& node);
