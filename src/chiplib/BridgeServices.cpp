#include "BridgeServices.h"

#include "ChipCommands.h"
#include "ChipLog.h"
#include "ScsiResult.h"

#include <cstring>

qint32 withBridge(ScsiTransport& transport, const ScsiBridgeNode& node,
                  const std::function<qint32(ScsiDeviceHandle&)>& op)
{
    int error = 0;
    const std::unique_ptr<ScsiDeviceHandle> device = transport.open(node.devnode, &error);
    if (!device) {
        const qint32 code = ScsiResult::systemError(error);
        qCWarning(lcChiplib, "open %s returned 0x%08x (%s)", qPrintable(node.devnode), unsigned(code),
                  std::strerror(error));
        return code;
    }
    return op(*device);
}

bool isChip2105(ScsiTransport& transport, const ScsiBridgeNode& node)
{
    // A node that does not open is no bridge of ours.
    return withBridge(transport, node, [](ScsiDeviceHandle& d) { return checkChip2105(d); }) == 0;
}

bool isChip2360(ScsiTransport& transport, const ScsiBridgeNode& node)
{
    return withBridge(transport, node, [](ScsiDeviceHandle& d) { return checkChip2360(d); }) == 0;
}

qint32 resetCpuOnService(ScsiTransport& transport, const ScsiBridgeNode& node)
{
    return withBridge(transport, node, [](ScsiDeviceHandle& d) { return cpuReset(d); });
}

qint32 readIdentifyOnService(ScsiTransport& transport, const ScsiBridgeNode& node, ChipKind kind, quint8* buffer)
{
    return withBridge(transport, node, [&](ScsiDeviceHandle& d) {
        return kind == ChipKind::Chip2105 ? ataIdentify(d, buffer, kAtaIdentifyLength)
                                          : nvmeIdentify(d, buffer, kNvmeIdentifyLength);
    });
}

qint32 getConfigSN(ScsiTransport& transport, const ScsiBridgeNode& node, quint8 out[20])
{
    quint8 config[kConfigLength];
    const qint32 r = withBridge(transport, node, [&](ScsiDeviceHandle& d) { return vendorConfigRead(d, config, 0); });
    if (r != 0) {
        qCWarning(lcChiplib, "ATAPassThrough_GetConfigSN returned 0x%08x.", unsigned(r));
        return -1;
    }
    std::memcpy(out, config + 4, kSerialLength);
    return 0;
}

qint32 getIdentifySN(ScsiTransport& transport, const ScsiBridgeNode& node, quint8 out[20])
{
    quint8 identify[kAtaIdentifyLength];
    const qint32 r = withBridge(transport, node, [&](ScsiDeviceHandle& d) {
        return sendScsiRequest(d, SCSI_Req_::make({ 0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0x00, 0x00 }, SCSI_Req_::kIn, identify, kAtaIdentifyLength));
    });
    if (r != 0)
        return -1;
    std::memcpy(out, identify + 20, kSerialLength);
    return 0;
}

int forEachBridge(ScsiTransport& transport, ChipKind kind,
                  const std::function<bool(const ScsiBridgeNode&, int ordinal)>& visit)
{
    int ordinal = 0;
    for (const ScsiBridgeNode& node : transport.bridges()) {
        const bool passes = kind == ChipKind::Chip2105 ? isChip2105(transport, node) : isChip2360(transport, node);
        if (!passes)
            continue;
        if (!visit(node, ordinal++))
            break;
    }
    return ordinal;
}
