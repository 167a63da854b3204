#pragma once

#include "ScsiTransport.h"

#include <QtGlobal>

#include <functional>

// Operations on one bridge: each opens its node, runs one command and closes it again.
// A node that does not open fails with its ScsiResult code.

enum class ChipKind { Chip2105 = 1,
                      Chip2360 = 2 };

// Runs op on the opened node; the open failure's code when it does not open.
qint32 withBridge(ScsiTransport& transport, const ScsiBridgeNode& node,
                  const std::function<qint32(ScsiDeviceHandle&)>& op);

bool isChip2105(ScsiTransport& transport, const ScsiBridgeNode& node);
bool isChip2360(ScsiTransport& transport, const ScsiBridgeNode& node);
qint32 resetCpuOnService(ScsiTransport& transport, const ScsiBridgeNode& node);
// Chip2105: 512 bytes of ATA IDENTIFY; Chip2360: 4096 bytes of NVMe identify.
qint32 readIdentifyOnService(ScsiTransport& transport, const ScsiBridgeNode& node, ChipKind kind, quint8* buffer);

// The 20 serial bytes of the configuration table (offsets 4-23); -1 when it cannot be read.
qint32 getConfigSN(ScsiTransport& transport, const ScsiBridgeNode& node, quint8 out[20]);
// The 20 serial bytes of the drive's ATA IDENTIFY data (offsets 20-39), as the drive
// stores them (the two bytes of each word swapped); -1 when it cannot be read.
qint32 getIdentifySN(ScsiTransport& transport, const ScsiBridgeNode& node, quint8 out[20]);

// Calls visit for each bridge of the kind, in service order, with its ordinal among them,
// until visit returns false. Returns the number visited.
int forEachBridge(ScsiTransport& transport, ChipKind kind,
                  const std::function<bool(const ScsiBridgeNode&, int ordinal)>& visit);
