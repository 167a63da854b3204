#pragma once

#include "SectorReader.h"

#include <QStringList>

#include <memory>

// The whole disks the mailbox sweep may talk to, and a way to read their sectors.
class MailboxDiskSource {
public:
    virtual ~MailboxDiskSource() = default;
    // Whole-disk nodes, "/dev/sdb".
    virtual QStringList disks() = 0;
    // Null when the disk cannot be reached.
    virtual std::unique_ptr<SectorReader> open(const QString& disk) = 0;
};
