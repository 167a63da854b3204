#include "BridgeFwUpdate_Lib.h"

#include "BridgeServices.h"
#include "ChipCommands.h"
#include "ChipLog.h"
#include "FirmwareUpdate.h"
#include "LibusbTransport.h"
#include "MailboxDevices.h"
#include "MakerDiskSource.h"
#include "OtbScan.h"
#include "ProcessCommandRunner.h"
#include "SgIoTransport.h"
#include "UsbPropertyListing.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>

namespace {

const char* const kLibVersion = "1.0.1.4a1";
const char* const kToolTitle = "Zorvi Bridge Firmware Update Tool 1.0";

// The library's promise: a failure comes back as a code, never as an exception.
qint32 guarded(const std::function<qint32()>& call)
{
    try {
        return call();
    } catch (const std::exception& e) {
        qCWarning(lcChiplib, "exception:%s", e.what());
    } catch (...) {
        qCWarning(lcChiplib, "exception:unknown");
    }
    return -1;
}

bool driverMissing(ScsiTransport& scsi)
{
    if (scsi.driverLoaded())
        return false;
    qCWarning(lcChiplib, "the SCSI generic driver (sg) is not loaded");
    return true;
}

// call, guarded, once the sg driver is known to be there; -1 without it.
qint32 withDriver(ScsiTransport& scsi, const std::function<qint32()>& call)
{
    return guarded([&] { return driverMissing(scsi) ? -1 : call(); });
}

std::optional<ScsiBridgeNode> nthBridge(ScsiTransport& scsi, ChipKind kind, qint32 index)
{
    std::optional<ScsiBridgeNode> chosen;
    if (index < 0)
        return chosen;
    forEachBridge(scsi, kind, [&](const ScsiBridgeNode& node, int ordinal) {
        if (ordinal != index) {
            qCDebug(lcChiplib, "iService:%d", ordinal);
            return true;
        }
        chosen = node;
        return false;
    });
    return chosen;
}

// op on bridge number `index` of `kind`: -1 without the sg driver, -10 for no known kind, -3
// when there is no such bridge.
qint32 onBridge(ScsiTransport& scsi, std::optional<ChipKind> kind, qint32 index,
                const std::function<qint32(const ScsiBridgeNode&)>& op)
{
    return withDriver(scsi, [&] {
        if (!kind)
            return -10;
        const auto node = nthBridge(scsi, *kind, index);
        return node ? op(*node) : -3;
    });
}

// op on every 2105 bridge, all of them even after a failure; the first failure, or -3
// when there was no bridge.
qint32 onEveryBridge(ScsiTransport& scsi, const std::function<qint32(const ScsiBridgeNode&, int)>& op)
{
    qint32 result = -3;
    bool any = false;
    forEachBridge(scsi, ChipKind::Chip2105, [&](const ScsiBridgeNode& node, int ordinal) {
        const qint32 r = op(node, ordinal);
        if (!any || result == 0)
            result = r;
        any = true;
        return true;
    });
    return result;
}

qint32 readVersion(ScsiTransport& scsi, const ScsiBridgeNode& node, quint8 version[7])
{
    return withBridge(scsi, node, [&](ScsiDeviceHandle& d) { return readVersionBytes(d, version); });
}

std::optional<ChipKind> chipKind(qint32 kind)
{
    if (kind == 1)
        return ChipKind::Chip2105;
    if (kind == 2)
        return ChipKind::Chip2360;
    return std::nullopt;
}

// Serial bytes as the chip stores them, without the padding around them.
QByteArray trimmedSerial(const quint8 serial[kSerialLength])
{
    QByteArray s(reinterpret_cast<const char*>(serial), kSerialLength);
    while (!s.isEmpty() && (s.back() == '\0' || s.back() == ' '))
        s.chop(1);
    while (!s.isEmpty() && s.front() == ' ')
        s.remove(0, 1);
    return s;
}

// The whole serial number, not a prefix of it: a record holds at most 20 of its bytes.
bool sameSerial(const USBDevInfo_& record, const QByteArray& serial)
{
    return !serial.isEmpty() && record.serialNumberLength == serial.size()
        && std::memcmp(record.serialNumber, serial.constData(), size_t(serial.size())) == 0;
}

void copyBounded(char* field, const char* source, qint32 length)
{
    std::memcpy(field, source, size_t(std::clamp(length, 0, 255)));
}

} // namespace

QString BridgeFwUpdate_Lib::getUSBProperty()
{
    try {
        return UsbPropertyListing::text();
    } catch (...) {
        return {};
    }
}

qint32 BridgeFwUpdate_Lib::getTargetIdx(const QString& text, const QString& target)
{
    return target.isEmpty() ? -1 : qint32(text.indexOf(target));
}

std::optional<QString> BridgeFwUpdate_Lib::getStringBetween(const QString& text, const QString& from, const QString& to)
{
    const qint32 start = getTargetIdx(text, from);
    if (start < 0 || to.isEmpty())
        return std::nullopt;
    const qsizetype begin = start + from.size();
    const qsizetype end = text.indexOf(to, begin);
    if (end < 0)
        return std::nullopt;
    return text.mid(begin, end - begin).trimmed();
}

quint16 BridgeFwUpdate_Lib::showUSBProperty()
{
    const QString listing = getUSBProperty();
    if (listing.size() > 7) {
        qCInfo(lcChiplib, "dev(%d,%d)", getTargetIdx(listing, QStringLiteral("{")),
               getTargetIdx(listing, QStringLiteral("}")));
        qCInfo(lcChiplib, "pid(%d,%d)", getTargetIdx(listing, QStringLiteral("idProduct")),
               getTargetIdx(listing, QStringLiteral("Built-In")));
        const auto pid = getStringBetween(listing, QStringLiteral("idProduct"), QStringLiteral("Built-In"));
        qCInfo(lcChiplib, "\nPID[%s]\n=======================", qPrintable(pid.value_or(QString())));
    }
    return 0;
}

qint32 BridgeFwUpdate_Lib::FwUpdate_Fun(const char* imagePath)
{
    SgIoTransport scsi;
    return FwUpdate_Fun(scsi, imagePath);
}

qint32 BridgeFwUpdate_Lib::FwUpdate_Fun(ScsiTransport& scsi, const char* imagePath)
{
    qCDebug(lcChiplib, "FwUpdate_Fun chk kext");
    return withDriver(scsi, [&] {
        const QString path = imagePath ? QString::fromLocal8Bit(imagePath) : QString();
        QByteArray image;
        if (loadFirmwareImage(path, &image) != 0)
            return -1;
        return onEveryBridge(scsi, [&](const ScsiBridgeNode& node, int) {
            qCDebug(lcChiplib, "FwUpdate_Fun chk 2105");
            if (!checkChipCustomerId(scsi, node) || !checkImageCustomerId(path))
                return -5;
            return writeFirmwareOnService(scsi, node, image);
        });
    });
}

qint32 BridgeFwUpdate_Lib::FwUpdate_all_Fun(const char* imagePath)
{
    SgIoTransport scsi;
    return FwUpdate_all_Fun(scsi, imagePath);
}

qint32 BridgeFwUpdate_Lib::FwUpdate_all_Fun(ScsiTransport& scsi, const char* imagePath)
{
    return withDriver(scsi, [&] {
        QByteArray image;
        if (loadFirmwareImage(imagePath ? QString::fromLocal8Bit(imagePath) : QString(), &image) != 0)
            return -1;
        return onEveryBridge(scsi, [&](const ScsiBridgeNode& node, int) {
            return writeFirmwareOnService(scsi, node, image);
        });
    });
}

qint32 BridgeFwUpdate_Lib::GetFwVersion_Fun(quint8 version[7])
{
    SgIoTransport scsi;
    return GetFwVersion_Fun(scsi, version);
}

qint32 BridgeFwUpdate_Lib::GetFwVersion_Fun(ScsiTransport& scsi, quint8 version[7])
{
    return withDriver(scsi, [&] {
        return onEveryBridge(scsi, [&](const ScsiBridgeNode& node, int ordinal) {
            const qint32 r = readVersion(scsi, node, version);
            const quint8* v = version;
            qCInfo(lcChiplib, "dev[%d]FW:%02x,%02x,%02x,%02x,%02x,%02x,%02x", ordinal, v[0], v[1], v[2], v[3], v[4],
                   v[5], v[6]);
            return r;
        });
    });
}

qint32 BridgeFwUpdate_Lib::GetFwVersion_all_Fun(quint8 version[7])
{
    SgIoTransport scsi;
    return GetFwVersion_all_Fun(scsi, version);
}

qint32 BridgeFwUpdate_Lib::GetFwVersion_all_Fun(ScsiTransport& scsi, quint8 version[7])
{
    return withDriver(scsi, [&] {
        return onEveryBridge(scsi, [&](const ScsiBridgeNode& node, int) { return readVersion(scsi, node, version); });
    });
}

qint32 BridgeFwUpdate_Lib::LoadKext_Fun()
{
    SgIoTransport scsi;
    ProcessCommandRunner commands;
    MakerDiskSource disks(scsi);
    return LoadKext_Fun(scsi, commands, disks);
}

qint32 BridgeFwUpdate_Lib::LoadKext_Fun(ScsiTransport& scsi, CommandRunner& commands, MailboxDiskSource& disks)
{
    return guarded([&] {
        if (!scsi.driverLoaded()) {
            // polkit asks the user itself; no password passes through here.
            const int exitCode = commands.run(QStringLiteral("pkexec"), { QStringLiteral("modprobe"), QStringLiteral("sg") });
            if (exitCode != 0)
                qCWarning(lcChiplib, "pkexec modprobe sg exited with %d", exitCode);
        }
        if (!scsi.driverLoaded())
            return -1;
        resetAllMailboxDevices(disks);
        return 0;
    });
}

qint32 BridgeFwUpdate_Lib::UnloadKext_Fun()
{
    SgIoTransport scsi;
    MakerDiskSource disks(scsi);
    return UnloadKext_Fun(disks);
}

qint32 BridgeFwUpdate_Lib::UnloadKext_Fun(MailboxDiskSource& disks)
{
    return guarded([&] {
        resetAllMailboxDevices(disks);
        return 0;
    });
}

void BridgeFwUpdate_Lib::showLog(const char* text)
{
    if (text)
        qCInfo(lcChiplib, "%s", text);
}

QString BridgeFwUpdate_Lib::getToolTitle()
{
    return QString::fromLatin1(kToolTitle);
}

QString BridgeFwUpdate_Lib::getLibVersion()
{
    return QString::fromLatin1(kLibVersion);
}

qint32 BridgeFwUpdate_Lib::GetFwVer(qint32 chipKind, quint8 version[7])
{
    SgIoTransport scsi;
    return GetFwVer(scsi, chipKind, version);
}

qint32 BridgeFwUpdate_Lib::GetFwVer(ScsiTransport& scsi, qint32 kind, quint8 version[7])
{
    return onBridge(scsi, chipKind(kind), 0, [&](const ScsiBridgeNode& node) { return readVersion(scsi, node, version); });
}

qint32 BridgeFwUpdate_Lib::GetHDSN(qint32 chipKind, quint8* identify)
{
    SgIoTransport scsi;
    return GetHDSN(scsi, chipKind, identify);
}

qint32 BridgeFwUpdate_Lib::GetHDSN(ScsiTransport& scsi, qint32 kind, quint8* identify)
{
    const auto chip = chipKind(kind);
    return onBridge(scsi, chip, 0,
                    [&](const ScsiBridgeNode& node) { return readIdentifyOnService(scsi, node, *chip, identify); });
}

qint32 BridgeFwUpdate_Lib::ScanUSBPort_Fun(USBDevListExp_* list)
{
    LibusbTransport usb;
    SgIoTransport scsi;
    return ScanUSBPort_Fun(usb, scsi, list);
}

qint32 BridgeFwUpdate_Lib::ScanUSBPort_Fun(UsbTransport& usb, ScsiTransport& scsi, USBDevListExp_* list)
{
    if (!list)
        return -1;
    std::memset(list, 0, sizeof *list);
    return guarded([&] {
        const auto devices = std::make_unique<USBDevList_>();
        getUSBDevList(usb, devices.get());
        qint32 result = -3;
        forEachBridge(scsi, ChipKind::Chip2105, [&](const ScsiBridgeNode& node, int) {
            quint8 version[kVersionLength] {};
            quint8 configSerial[kSerialLength] {};
            quint8 identifySerial[kSerialLength] {};
            readVersion(scsi, node, version);
            getConfigSN(scsi, node, configSerial);
            result = getIdentifySN(scsi, node, identifySerial);
            for (int i = 0; i + 1 < kSerialLength; i += 2)
                std::swap(identifySerial[i], identifySerial[i + 1]);
            qCDebug(lcChiplib, "location ID:%d", qint32(node.locationId));

            const QByteArray config = trimmedSerial(configSerial);
            const QByteArray identify = trimmedSerial(identifySerial);
            for (int i = 0; i < devices->count; ++i) {
                USBDevInfo_& r = devices->devices[i];
                if (!r.valid
                    || !(sameSerial(r, config) || sameSerial(r, identify) || r.locationID == qint32(node.locationId)))
                    continue;
                if (list->count >= USBDevListExp_::kMaxDevices)
                    break;
                USBDevInfoExp_& out = list->devices[list->count++];
                out.locationID = r.locationID;
                std::memcpy(out.firmwareVersion, version, 6);
                copyBounded(out.vendorName, r.vendorName, r.vendorNameLength);
                copyBounded(out.productName, r.productName, r.productNameLength);
                copyBounded(out.serialNumber, r.serialNumber, std::min(r.serialNumberLength, kSerialLength));
                out.productId[0] = r.productId[0];
                out.productId[1] = r.productId[1];
                out.vendorId[0] = r.vendorId[0];
                out.vendorId[1] = r.vendorId[1];
                r.valid = 0; // no second bridge takes this device
                break;
            }
            return true;
        });
        return result;
    });
}

qint32 BridgeFwUpdate_Lib::GetFwVersion_Fun(quint8 version[7], qint32 deviceIndex)
{
    SgIoTransport scsi;
    return GetFwVersion_Fun(scsi, version, deviceIndex);
}

qint32 BridgeFwUpdate_Lib::GetFwVersion_Fun(ScsiTransport& scsi, quint8 version[7], qint32 deviceIndex)
{
    return withDriver(scsi, [&] {
        qCDebug(lcChiplib, "GetFwVersion_Fun: chk kext load success");
        const auto node = nthBridge(scsi, ChipKind::Chip2105, deviceIndex);
        if (!node)
            return -3;
        qCDebug(lcChiplib, "GetFwVersion_Fun: device exist");
        return readVersion(scsi, *node, version);
    });
}

qint32 BridgeFwUpdate_Lib::GetConfigSN_Fun(quint8 serial[20], qint32 deviceIndex)
{
    SgIoTransport scsi;
    return GetConfigSN_Fun(scsi, serial, deviceIndex);
}

qint32 BridgeFwUpdate_Lib::GetConfigSN_Fun(ScsiTransport& scsi, quint8 serial[20], qint32 deviceIndex)
{
    return onBridge(scsi, ChipKind::Chip2105, deviceIndex,
                    [&](const ScsiBridgeNode& node) { return getConfigSN(scsi, node, serial); });
}

qint32 BridgeFwUpdate_Lib::FwUpdate_Fun(const char* imagePath, qint32 deviceIndex)
{
    SgIoTransport scsi;
    return FwUpdate_Fun(scsi, imagePath, deviceIndex);
}

qint32 BridgeFwUpdate_Lib::FwUpdate_Fun(ScsiTransport& scsi, const char* imagePath, qint32 deviceIndex)
{
    return withDriver(scsi, [&] {
        const QString path = imagePath ? QString::fromLocal8Bit(imagePath) : QString();
        QByteArray image;
        if (loadFirmwareImage(path, &image) != 0)
            return -1;
        const auto node = nthBridge(scsi, ChipKind::Chip2105, deviceIndex);
        if (!node)
            return -3;
        if (!checkChipCustomerId(scsi, *node) || !checkImageCustomerId(path)) {
            qCWarning(lcChiplib, "FwUpdate_Fun custom id check fail");
            return -5;
        }
        return writeFirmwareNoResetOnService(scsi, *node, image);
    });
}

qint32 BridgeFwUpdate_Lib::ResetCPU_Fun(qint32 deviceIndex)
{
    SgIoTransport scsi;
    return ResetCPU_Fun(scsi, deviceIndex);
}

qint32 BridgeFwUpdate_Lib::ResetCPU_Fun(ScsiTransport& scsi, qint32 deviceIndex)
{
    return onBridge(scsi, ChipKind::Chip2105, deviceIndex,
                    [&](const ScsiBridgeNode& node) { return resetCpuOnService(scsi, node); });
}

qint32 BridgeFwUpdate_Lib::ATAPassTrhough_Fun(SCSI_Req_ request, qint32 deviceIndex)
{
    SgIoTransport scsi;
    return ATAPassTrhough_Fun(scsi, request, deviceIndex);
}

qint32 BridgeFwUpdate_Lib::ATAPassTrhough_Fun(ScsiTransport& scsi, SCSI_Req_ request, qint32 deviceIndex)
{
    return onBridge(scsi, ChipKind::Chip2105, deviceIndex, [&](const ScsiBridgeNode& node) {
        const qint32 r = withBridge(scsi, node, [&](ScsiDeviceHandle& d) { return sendScsiRequest(d, request); });
        qCDebug(lcChiplib, "kern result:%d,ret len: %llu", r, request.transferLength);
        return r;
    });
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

    // An exception comes back as -1, so it cannot pass for a read.
    const qint32 result = guarded([&] { return getOtbStatusFiltered(transport, vendorId, productId, status, selDev); });
    qCDebug(lcChiplib, "finally, vid:%x, pid%x, selDev:%d", vendorId, productId, selDev);
    return result;
}

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
    return guarded([&] {
        QList<UsbDeviceEntry> devices;
        if (!transport.enumerate(&devices)) {
            qCWarning(lcChiplib, "Couldn't set up notification");
            return -1;
        }
        OtbScanBlock block {};
        scanOtbDevices(block, transport, devices, unopened);
        std::copy(block, block + kOtbSlots, status);
        std::copy(block + kOtbSlots, block + 2 * kOtbSlots, locationID);
        return 0;
    });
}
