#pragma once

#include "MailboxContext.h"

#include <QtGlobal>

#include <chrono>
#include <cstddef>

// Commands to the bridge chip spelled as sector reads: the chip watches the sector numbers
// it is asked for and leaves its answer in sector 17. The operations return 0, one of the
// codes below, or the answer's mapped status.

inline constexpr quint32 kMailboxPollReadFailed = 241;
inline constexpr quint32 kMailboxNoAnswer = 242;
inline constexpr quint32 kMailboxUnknownStatus = 244;
inline constexpr quint32 kMailboxBadPortTarget = 246;
inline constexpr quint32 kMailboxSendFailed = 255;
// Read between two equal sector numbers so that the chip sees the second one.
inline constexpr quint32 kMailboxSpacerLba = 0x5FFF;
inline constexpr std::chrono::milliseconds kMailboxProbeTimeout { 100 };
inline constexpr std::chrono::milliseconds kMailboxTimeout { 2000 };

// IEEE 802.3 CRC-32.
quint32 mailboxCrc(const quint8* data, std::size_t length);

// Port 255 (any port), or a port of 0-15 with a target whose high nibble is below 5 and
// low nibble at most 4. The one place that decides it.
bool isValidPortTarget(quint8 port, quint8 target);

// Signature, groups and check into the context's sector-number list.
void mailboxEncode(MailboxContext& context);
// Reads every listed sector; 255 when a read fails. Empties the list.
quint32 mailboxSend(MailboxContext& context);
// Reads sector 17 until it holds an answer or the time-out passes on a steady clock.
quint32 mailboxPoll(MailboxContext& context, std::chrono::milliseconds timeout);

quint32 mailboxProbe(MailboxContext& context);
quint32 mailboxGetCapabilities(MailboxContext& context, quint8 port, quint8 target, quint8 out[64]);
quint32 mailboxWriteBlock(MailboxContext& context, quint8 port, quint8 target, const quint8 data[128], quint16 value);
quint32 mailboxRead164(MailboxContext& context, quint8 port, quint8 target, quint8 out[164]);
quint32 mailboxRead384(MailboxContext& context, quint8 port, quint8 target, quint8 out[384]);
quint32 mailboxReset(MailboxContext& context, quint8 port, quint8 target, quint16 value);
quint32 mailboxReadByte(MailboxContext& context, quint8 port, quint8 target, quint16 value, quint8* out);
