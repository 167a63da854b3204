#pragma once

#include "MailboxDiskSource.h"
#include "ScsiTransport.h"
#include "SystemRoots.h"

// The whole disks of the maker's drives as drive discovery reports them, read through
// each disk's SCSI generic node.
class MakerDiskSource : public MailboxDiskSource {
public:
    explicit MakerDiskSource(ScsiTransport& transport, SystemRoots roots = SystemRoots());

    QStringList disks() override;
    std::unique_ptr<SectorReader> open(const QString& disk) override;

private:
    ScsiTransport& m_transport;
    SystemRoots m_roots;
};
