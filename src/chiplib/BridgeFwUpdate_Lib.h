#pragma once

#include "SCSI_Req.h"
#include "USBDevListExp.h"
#include "UsbTransport.h"

#include <QString>
#include <QtGlobal>

#include <optional>

class CommandRunner;
class MailboxDiskSource;
class ScsiTransport;

// The bridge-chip library's face: the one-touch-backup button state that the maker's
// bridge chips report over USB, and the chips' SCSI commands (identity, configuration,
// firmware version and update, reset) through the kernel's SCSI generic driver.
//
// Every call is synchronous and keeps nothing open afterwards; nothing is thrown out of it.
// Results are signed 32-bit codes: 0 success, -1 SCSI generic driver missing or set-up
// failure, -3 no suitable bridge, -5 customer-id test failed, -10 selection out of range,
// or the failing command's code (negative, 0xE0xxxxxx).
//
// Not reentrant: the firmware and mailbox operations share process-wide buffers, so only
// one of them may run at a time in the process. The one-touch status calls share nothing.
//
// The overloads that take transports, a command runner or a disk source exist for tests;
// the others use the real ones.
class BridgeFwUpdate_Lib {
public:
    // The attached USB devices as a text listing (UsbPropertyListing).
    static QString getUSBProperty();
    // Position of the first occurrence of target in text; -1 when absent or empty.
    static qint32 getTargetIdx(const QString& text, const QString& target);
    // The text between the end of the first `from` and the next `to` after it, trimmed;
    // none when either marker is missing or empty.
    static std::optional<QString> getStringBetween(const QString& text, const QString& from, const QString& to);
    // Logs the first device block of the listing.
    static quint16 showUSBProperty();

    // Writes the image, with a CPU reset, to every 2105 bridge that passes both customer-id
    // tests. The image file is read once, before any bridge is touched. The first failure.
    static qint32 FwUpdate_Fun(const char* imagePath);
    static qint32 FwUpdate_Fun(ScsiTransport& scsi, const char* imagePath);
    // The same without the customer-id tests.
    static qint32 FwUpdate_all_Fun(const char* imagePath);
    static qint32 FwUpdate_all_Fun(ScsiTransport& scsi, const char* imagePath);
    // The 7 version bytes of each 2105 bridge in turn; the last one stays. The first failure.
    static qint32 GetFwVersion_Fun(quint8 version[7]);
    static qint32 GetFwVersion_Fun(ScsiTransport& scsi, quint8 version[7]);
    static qint32 GetFwVersion_all_Fun(quint8 version[7]);
    static qint32 GetFwVersion_all_Fun(ScsiTransport& scsi, quint8 version[7]);

    // Makes sure the SCSI generic driver is loaded, asking for it through polkit
    // ("pkexec modprobe sg") when it is not, then resets every bridge through the mailbox.
    // 0 loaded, -1 not loaded.
    static qint32 LoadKext_Fun();
    static qint32 LoadKext_Fun(ScsiTransport& scsi, CommandRunner& commands, MailboxDiskSource& disks);
    // Resets every bridge through the mailbox. The driver stays loaded: other devices use
    // it. Always 0.
    static qint32 UnloadKext_Fun();
    static qint32 UnloadKext_Fun(MailboxDiskSource& disks);

    static void showLog(const char* text);
    static QString getToolTitle();
    // "1.0.1.4a1"
    static QString getLibVersion();

    // chipKind 1: the first 2105 bridge, 2: the first 2360 bridge; -10 for another kind.
    static qint32 GetFwVer(qint32 chipKind, quint8 version[7]);
    static qint32 GetFwVer(ScsiTransport& scsi, qint32 chipKind, quint8 version[7]);
    // Identify data of the drive behind the first bridge of the kind: 512 bytes of ATA
    // IDENTIFY for kind 1, 4096 bytes of NVMe identify for kind 2 (the buffer's size).
    static qint32 GetHDSN(qint32 chipKind, quint8* identify);
    static qint32 GetHDSN(ScsiTransport& scsi, qint32 chipKind, quint8* identify);
    // Each 2105 bridge with its USB device, matched by serial number or location. The last
    // identify read's result, or -3 when no 2105 bridge answered.
    static qint32 ScanUSBPort_Fun(USBDevListExp_* list);
    static qint32 ScanUSBPort_Fun(UsbTransport& usb, ScsiTransport& scsi, USBDevListExp_* list);

    // The device-index-th 2105 bridge (from 0), or -3 when there is none.
    static qint32 GetFwVersion_Fun(quint8 version[7], qint32 deviceIndex);
    static qint32 GetFwVersion_Fun(ScsiTransport& scsi, quint8 version[7], qint32 deviceIndex);
    static qint32 GetConfigSN_Fun(quint8 serial[20], qint32 deviceIndex);
    static qint32 GetConfigSN_Fun(ScsiTransport& scsi, quint8 serial[20], qint32 deviceIndex);
    // Writes the image without the CPU reset, after both customer-id tests.
    static qint32 FwUpdate_Fun(const char* imagePath, qint32 deviceIndex);
    static qint32 FwUpdate_Fun(ScsiTransport& scsi, const char* imagePath, qint32 deviceIndex);
    static qint32 ResetCPU_Fun(qint32 deviceIndex);
    static qint32 ResetCPU_Fun(ScsiTransport& scsi, qint32 deviceIndex);
    // The caller's request, its data moving through the record's buffer address.
    static qint32 ATAPassTrhough_Fun(SCSI_Req_ request, qint32 deviceIndex);
    static qint32 ATAPassTrhough_Fun(ScsiTransport& scsi, SCSI_Req_ request, qint32 deviceIndex);

    // One device chosen by ids and ordinal (from 0). Returns 0 status read, -1 failure,
    // -3 selected device not found, -4 no device seen, -10 selection out of range.
    static qint32 GetOTBStatus(quint16 vendorId, quint16 productId, qint32* status, qint32 selDev);
    static qint32 GetOTBStatus(UsbTransport& transport, quint16 vendorId, quint16 productId, qint32* status,
                               qint32 selDev);

    // Up to four answering devices: status 5 pressed, 6 released, 7 otherwise, with their
    // location IDs; empty slots hold 7 and 0. Returns 0, or -1 when USB could not be reached.
    static qint32 GetOTBStatus2(qint32 status[4], qint32 locationID[4]);
    // `unopened`, when given, receives the devices that could not be opened (no permission).
    static qint32 GetOTBStatus2(UsbTransport& transport, qint32 status[4], qint32 locationID[4],
                                QList<UsbDeviceEntry>* unopened = nullptr);
};
