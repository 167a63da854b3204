#pragma once

#include <QtGlobal>

// Single-sector reads of a disk that reach the device itself, never a cache: the chip
// reads the mailbox commands off the sector numbers it is asked for.
class SectorReader {
public:
    static constexpr int kSectorSize = 512;

    virtual ~SectorReader() = default;
    // Fills the first 512 bytes of the sector into out; false when the read failed.
    virtual bool readSector(quint32 lba, quint8 out[kSectorSize]) = 0;
};
