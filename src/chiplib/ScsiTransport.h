#pragma once

#include <QList>
#include <QString>

#include <scsi/sg.h>

#include <memory>

// One bridge as the library reaches it: the SCSI generic node of its first LUN and the
// location of the USB device it sits in.
struct ScsiBridgeNode {
    QString devnode; // "/dev/sg2"
    quint32 locationId = 0;
};

// An open SCSI generic node; destroying it closes the node.
class ScsiDeviceHandle {
public:
    virtual ~ScsiDeviceHandle() = default;
    // The SG_IO ioctl: 0 when the kernel took the request (the header then tells how the
    // command ended), else -errno.
    virtual int sgIo(sg_io_hdr_t& header) = 0;
};

// The seam between the library and the kernel's SCSI generic driver, so tests answer as
// a bridge chip would.
class ScsiTransport {
public:
    virtual ~ScsiTransport() = default;
    // The SCSI generic driver is present.
    virtual bool driverLoaded() = 0;
    // The maker's bridges, by USB location.
    virtual QList<ScsiBridgeNode> bridges() = 0;
    // Null on failure, with *error set to errno.
    virtual std::unique_ptr<ScsiDeviceHandle> open(const QString& devnode, int* error) = 0;
};
