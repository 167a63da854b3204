#include "SgSectorReader.h"

#include "ChipCommands.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {

// A mailbox poll spins on these; a stuck read must not hold it for the general time-out.
constexpr std::chrono::milliseconds kSectorTimeout { 5000 };

} // namespace

SgSectorReader::SgSectorReader(std::unique_ptr<ScsiDeviceHandle> device, int blockSize)
    : m_device(std::move(device))
    , m_block(std::max(blockSize, int(kSectorSize)), '\0')
{
}

bool SgSectorReader::readSector(quint32 lba, quint8 out[kSectorSize])
{
    std::memset(out, 0, kSectorSize);
    const SCSI_Req_ read10 = SCSI_Req_::make({ 0x28, 0x00, quint8(lba >> 24), quint8(lba >> 16), quint8(lba >> 8),
                                               quint8(lba), 0x00, 0x00, 0x01, 0x00 },
                                             SCSI_Req_::kIn, m_block.data(), quint64(m_block.size()));
    if (sendScsiRequest(*m_device, read10, kSectorTimeout) != 0)
        return false;
    std::memcpy(out, m_block.constData(), kSectorSize);
    return true;
}
