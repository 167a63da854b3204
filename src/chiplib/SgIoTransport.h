#pragma once

#include "ScsiTransport.h"
#include "SystemRoots.h"

// ScsiTransport over the kernel's SCSI generic driver. Bridges are found by walking sysfs
// down from each of the maker's USB devices: interface, SCSI host, target, LUN, and the
// LUN's scsi_generic node. Opening a node needs read-write access to it.
class SgIoTransport : public ScsiTransport {
public:
    explicit SgIoTransport(SystemRoots roots = SystemRoots());

    bool driverLoaded() override;
    QList<ScsiBridgeNode> bridges() override;
    std::unique_ptr<ScsiDeviceHandle> open(const QString& devnode, int* error) override;

    // The generic node of a sysfs SCSI device folder (a LUN); empty when it has none.
    QString genericNode(const QString& lunDir) const;

private:
    // The first LUN with a generic node stands for the bridge.
    QString firstGenericNode(const QString& usbDir, const QString& usbName) const;

    SystemRoots m_roots;
};
