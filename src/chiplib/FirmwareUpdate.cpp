#include "FirmwareUpdate.h"

#include "BridgeServices.h"
#include "ChipLog.h"

#include <QFile>

#include <cstring>

FirmwareState& firmwareState()
{
    static FirmwareState state;
    return state;
}

quint8 firmwareClockCode(quint8 clockRegister)
{
    const bool b6 = clockRegister & 0x40;
    const bool b5 = clockRegister & 0x20;
    const bool b4 = clockRegister & 0x10;
    if (!b5 && !b4)
        return 90;
    if (!b6)
        return b5 ? (b4 ? 45 : 60) : 75;
    return b5 ? (b4 ? 105 : 15) : 30;
}

qint32 readVersionBytes(ScsiDeviceHandle& device, quint8 out[kVersionLength])
{
    return registerRead(device, kVersionRegister, out, kVersionLength);
}

qint32 readFirmwareVersion(ScsiDeviceHandle& device)
{
    FirmwareState& s = firmwareState();
    std::memset(s.version, 0, sizeof s.version);
    s.versionText.clear();
    const qint32 r = readVersionBytes(device, s.version);
    s.versionText = QByteArray(reinterpret_cast<const char*>(s.version), kVersionLength).toHex();
    return r;
}

namespace {

qint32 readImageFile(const QString& path, QByteArray* image)
{
    image->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcChiplib, "Bin File Error! %s", qPrintable(file.errorString()));
        return -1;
    }
    // One more byte than the header can count tells a too-large image without reading it all.
    const QByteArray bytes = file.read(kMaxImageSize + 1);
    if (file.error() != QFileDevice::NoError) {
        qCWarning(lcChiplib, "Bin File Error! %s", qPrintable(file.errorString()));
        return -1;
    }
    if (bytes.isEmpty() || bytes.size() > kMaxImageSize) {
        qCWarning(lcChiplib, "Bin File Error! size must be 1 to %lld bytes", kMaxImageSize);
        return -1;
    }
    *image = bytes;
    return 0;
}

} // namespace

qint32 loadFirmwareImage(const QString& path, QByteArray* image)
{
    const qint32 r = readImageFile(path, image);
    if (r == 0) {
        FirmwareState& s = firmwareState();
        s.imagePath = path;
        s.imageSize = image->size();
    }
    return r;
}

QByteArray eepromImageBuffer(const QByteArray& image, quint8 clockCode)
{
    const auto size = quint16(image.size());
    QByteArray buffer(image.size() + 4, '\0');
    buffer[0] = char(size & 0xFF);
    buffer[1] = char(size >> 8);
    std::memcpy(buffer.data() + 2, image.constData(), size_t(image.size()));
    quint8 sum = 0;
    for (char c : image)
        sum = quint8(sum + quint8(c));
    buffer[image.size() + 2] = char(clockCode);
    buffer[image.size() + 3] = char(sum);
    return buffer;
}

qint32 writeFirmwareImage(ScsiDeviceHandle& device, const QByteArray& image, bool reset)
{
    if (image.isEmpty() || image.size() > kMaxImageSize) {
        qCWarning(lcChiplib, "Bin File Error!");
        return -1;
    }
    FirmwareState& s = firmwareState();
    // The trailer depends on the clock; a guessed one would flash an image the chip cannot run.
    quint8 clock = 0;
    qint32 r = registerRead(device, kClockRegister, &clock, 1);
    if (r != 0) {
        qCWarning(lcChiplib, "Read Clock Register Error! code:%d", r);
        return r;
    }
    s.clockRegister = clock;

    std::memset(s.config, 0, sizeof s.config);
    r = vendorConfigRead(device, s.config, 0);
    if (r != 0) {
        qCWarning(lcChiplib, "Read Config Table Error! code:%d", r);
        return r;
    }
    r = vendorConfigWrite(device, s.config, 0);
    if (r != 0) {
        qCWarning(lcChiplib, "Write Config Table Error! code:%d", r);
        return r;
    }

    const QByteArray buffer = eepromImageBuffer(image, firmwareClockCode(clock));
    r = vendorSetEEPROM(device, reinterpret_cast<const quint8*>(buffer.constData()), quint32(buffer.size()), 0);
    if (r != 0) {
        qCWarning(lcChiplib, "Write EEPROM Error! code:%d", r);
        return r;
    }
    if (reset) {
        r = cpuReset(device);
        if (r != 0) {
            qCWarning(lcChiplib, "Device Reset Error! code:%d", r);
            return r;
        }
    }
    return 0;
}

qint32 writeStoredFirmwareImage(ScsiDeviceHandle& device)
{
    const FirmwareState& s = firmwareState();
    const qint64 stored = s.imageSize;
    if (stored < 1) {
        qCWarning(lcChiplib, "Bin File Error!");
        return -1;
    }
    QByteArray image;
    if (readImageFile(s.imagePath, &image) != 0)
        return -1;
    if (image.size() != stored) {
        qCWarning(lcChiplib, "Bin File Error! the file changed since it was measured");
        return -1;
    }
    return writeFirmwareImage(device, image, true);
}

bool checkChipCustomerId(ScsiTransport& transport, const ScsiBridgeNode& node)
{
    quint8 v[kVersionLength];
    const qint32 r = withBridge(transport, node, [&](ScsiDeviceHandle& d) { return readVersionBytes(d, v); });
    if (r != 0)
        return false;
    qCDebug(lcChiplib, "FW:%02X,%02X,%02X,%02X,%02X,%02X", v[0], v[1], v[2], v[3], v[4], v[5]);
    if (v[4] == 0x00 || v[4] == 0xFF)
        return true;
    qCWarning(lcChiplib, "FW customer ID check fail");
    return false;
}

bool checkImageCustomerId(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    qCDebug(lcChiplib, "bin file name:%s", qPrintable(name));
    const qsizetype offset = name.contains(QLatin1String("BR_PCIE_")) ? 18 : 10;
    const QString id = name.size() >= offset + 2 ? name.mid(offset, 2) : QString();
    if (id == QLatin1String("00") || id == QLatin1String("FF"))
        return true;
    qCWarning(lcChiplib, "bin customer ID check fail");
    return false;
}

qint32 writeFirmwareOnService(ScsiTransport& transport, const ScsiBridgeNode& node, const QByteArray& image)
{
    return withBridge(transport, node, [&](ScsiDeviceHandle& d) { return writeFirmwareImage(d, image, true); });
}

qint32 writeFirmwareNoResetOnService(ScsiTransport& transport, const ScsiBridgeNode& node, const QByteArray& image)
{
    return withBridge(transport, node, [&](ScsiDeviceHandle& d) { return writeFirmwareImage(d, image, false); });
}

qint32 writeStoredFirmwareOnService(ScsiTransport& transport, const ScsiBridgeNode& node)
{
    return withBridge(transport, node, [](ScsiDeviceHandle& d) { return writeStoredFirmwareImage(d); });
}

qint32 readVersionOnService(ScsiTransport& transport, const ScsiBridgeNode& node)
{
    return withBridge(transport, node, [](ScsiDeviceHandle& d) { return readFirmwareVersion(d); });
}
