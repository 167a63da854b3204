#include "Mailbox.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr int kAnswerOffset = 80;
constexpr quint8 kStatusOk = 0x20;
constexpr char kHeadMarker[] = "__BRIDGE_MBOX1__";
constexpr char kTailMarker[] = "_PORTMULTIPLIER_";

void storeCheck(quint8 out[4], quint32 crc)
{
    out[0] = quint8(crc >> 24);
    out[1] = quint8(crc >> 16);
    out[2] = quint8(crc >> 8);
    out[3] = quint8(crc);
}

quint32 mapStatus(quint8 status)
{
    switch (status) {
    case 0:
    case 16:
    case 32:
    case 192:
    case 208:
    case 224:
    case 240:
    case 255:
        return status;
    default:
        return kMailboxUnknownStatus;
    }
}

// Builds, sends and polls one command; payload is null for the short form.
quint32 run(MailboxContext& c, quint8 form, quint8 kind, quint8 port, quint8 target, quint8 operation,
            quint8 valueHigh, quint8 valueLow, const quint8* payload, std::chrono::milliseconds timeout)
{
    const quint8 command[4] = { form, kind, port == 255 ? quint8(0xEF) : port, target };
    const quint8 parameter[4] = { operation, 0xCF, valueHigh, valueLow };
    std::memcpy(c.command, command, 4);
    std::memcpy(c.parameter, parameter, 4);
    c.isLong = payload != nullptr;
    std::memset(c.payload, 0, sizeof c.payload);
    if (payload)
        std::memcpy(c.payload, payload, sizeof c.payload);
    mailboxEncode(c);
    if (const quint32 r = mailboxSend(c); r != 0)
        return r;
    return mailboxPoll(c, timeout);
}

// A reading operation: the answer's bytes when the chip says OK, else its status.
quint32 answer(MailboxContext& c, quint32 r, quint8* out, int length)
{
    if (r != 0)
        return r;
    if (c.status != kStatusOk)
        return c.status;
    std::memcpy(out, c.sector + kAnswerOffset, size_t(length));
    return 0;
}

} // namespace

quint32 mailboxCrc(const quint8* data, std::size_t length)
{
    return quint32(::crc32(::crc32(0L, nullptr, 0), data, uInt(length)));
}

bool isValidPortTarget(quint8 port, quint8 target)
{
    if (port == 255)
        return true;
    return port < 16 && (target & 0x0F) <= 4 && (target >> 4) < 5;
}

void mailboxEncode(MailboxContext& c)
{
    quint8 framed[8 + 4 + 4 + 128];
    for (int i = 0; i < 4; ++i) {
        framed[2 * i] = quint8(c.signature[i]);
        framed[2 * i + 1] = quint8(c.signature[i] >> 8);
    }
    std::memcpy(framed + 8, c.command, 4);
    std::memcpy(framed + 12, c.parameter, 4);
    if (c.isLong) {
        std::memcpy(framed + 16, c.payload, 128);
        storeCheck(c.longCheck, mailboxCrc(framed, sizeof framed));
    } else {
        storeCheck(c.payload, mailboxCrc(framed, 16));
    }

    quint32 n = 0;
    for (quint16 s : c.signature)
        c.lbas[n++] = s;
    for (quint8 b : c.command)
        c.lbas[n++] = b + 256u;
    for (quint8 b : c.parameter)
        c.lbas[n++] = b + 512u;
    if (c.isLong) {
        for (quint8 b : c.payload)
            c.lbas[n++] = b + 768u;
        for (quint8 b : c.longCheck)
            c.lbas[n++] = b + 1024u;
    } else {
        for (int i = 0; i < 4; ++i)
            c.lbas[n++] = c.payload[i] + 1024u;
    }
    c.lbaCount = n;
}

quint32 mailboxSend(MailboxContext& c)
{
    const quint32 count = c.lbaCount;
    c.lbaCount = 0;
    quint32 previous = 0;
    for (quint32 i = 0; i < count; ++i) {
        const quint32 lba = c.lbas[i];
        if (lba == previous && !c.reader->readSector(kMailboxSpacerLba, c.sector))
            return kMailboxSendFailed;
        if (!c.reader->readSector(lba, c.sector))
            return kMailboxSendFailed;
        previous = lba;
    }
    return 0;
}

quint32 mailboxPoll(MailboxContext& c, std::chrono::milliseconds timeout)
{
    // Wall time: a read that blocks uses no processor time and must still count.
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        std::memset(c.sector, 0, sizeof c.sector);
        if (!c.reader->readSector(c.pollLba, c.sector))
            return kMailboxPollReadFailed;
        if (std::memcmp(c.sector, kHeadMarker, 16) == 0
            && std::memcmp(c.sector + SectorReader::kSectorSize - 16, kTailMarker, 16) == 0) {
            c.status = mapStatus(c.sector[48]);
            return 0;
        }
        if (std::chrono::steady_clock::now() - start >= timeout) {
            c.status = kMailboxNoAnswer;
            return kMailboxNoAnswer;
        }
    }
}

quint32 mailboxProbe(MailboxContext& c)
{
    const quint32 r = run(c, 0x00, 0x04, 255, 0xFF, 0x10, 0xDF, 0xEF, nullptr, kMailboxProbeTimeout);
    return r != 0 ? r : c.status;
}

quint32 mailboxGetCapabilities(MailboxContext& c, quint8 port, quint8 target, quint8 out[64])
{
    if (!isValidPortTarget(port, target))
        return kMailboxBadPortTarget;
    return answer(c, run(c, 0x00, 0x04, port, target, 0x11, 0xDF, 0xEF, nullptr, kMailboxTimeout), out, 64);
}

quint32 mailboxWriteBlock(MailboxContext& c, quint8 port, quint8 target, const quint8 data[128], quint16 value)
{
    if (!isValidPortTarget(port, target))
        return kMailboxBadPortTarget;
    const quint32 r = run(c, 0x01, 0x05, port, target, 0xB0, quint8(value >> 8), quint8(value), data, kMailboxTimeout);
    if (r != 0)
        return r;
    return c.status == kStatusOk ? 0 : c.status;
}

quint32 mailboxRead164(MailboxContext& c, quint8 port, quint8 target, quint8 out[164])
{
    if (!isValidPortTarget(port, target))
        return kMailboxBadPortTarget;
    return answer(c, run(c, 0x00, 0x04, port, target, 0x15, 0xDF, 0xEF, nullptr, kMailboxTimeout), out, 164);
}

quint32 mailboxRead384(MailboxContext& c, quint8 port, quint8 target, quint8 out[384])
{
    if (!isValidPortTarget(port, target))
        return kMailboxBadPortTarget;
    return answer(c, run(c, 0x00, 0x04, port, target, 0x17, 0xDF, 0xEF, nullptr, kMailboxTimeout), out, 384);
}

quint32 mailboxReset(MailboxContext& c, quint8 port, quint8 target, quint16 value)
{
    if (!isValidPortTarget(port, target))
        return kMailboxBadPortTarget;
    const quint32 r = run(c, 0x00, 0x05, port, target, 0xF0, quint8(value >> 8), quint8(value), nullptr,
                          kMailboxTimeout);
    return r != 0 ? r : c.status;
}

quint32 mailboxReadByte(MailboxContext& c, quint8 port, quint8 target, quint16 value, quint8* out)
{
    if (!isValidPortTarget(port, target))
        return kMailboxBadPortTarget;
    return answer(c, run(c, 0x00, 0x04, port, target, 0x50, quint8(value >> 8), quint8(value), nullptr, kMailboxTimeout),
                  out, 1);
}
