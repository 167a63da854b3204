#pragma once

#include "SectorReader.h"

#include <QtGlobal>

// One mailbox command and its answer on one disk.
struct MailboxContext {
    static constexpr int kMaxLbas = 144;
    static constexpr quint32 kPollLba = 17;

    SectorReader* reader = nullptr;
    quint16 signature[4] { 0x43, 0x71, 0xA7, 0xDF };
    quint8 command[4] {};   // form, class, port, target
    quint8 parameter[4] {}; // operation, 0xCF, two value bytes
    quint8 payload[128] {}; // the short form's CRC in its first 4 bytes
    quint8 longCheck[4] {};
    bool isLong = false;
    quint32 lbas[kMaxLbas] {};
    quint32 lbaCount = 0;
    quint8 sector[SectorReader::kSectorSize] {};
    quint32 pollLba = kPollLba;
    quint32 status = 0; // mapped status of the last answer
};
