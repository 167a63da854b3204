#pragma once

#include "ScsiTransport.h"
#include "SectorReader.h"

#include <QByteArray>

#include <memory>

// Sector reads as READ(10) commands through SG_IO, so every read reaches the drive's bridge
// and none is answered from the page cache.
class SgSectorReader : public SectorReader {
public:
    // blockSize: the disk's logical block size; one block is read per sector.
    SgSectorReader(std::unique_ptr<ScsiDeviceHandle> device, int blockSize);

    bool readSector(quint32 lba, quint8 out[kSectorSize]) override;

private:
    std::unique_ptr<ScsiDeviceHandle> m_device;
    QByteArray m_block;
};
