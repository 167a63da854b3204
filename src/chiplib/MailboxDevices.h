#pragma once

#include "MailboxDiskSource.h"

#include <QString>
#include <QtGlobal>

// Mailbox operations on whole disks, and the sweep that resets every bridge found.
//
// Not reentrant: the sweep fills the process-wide table below; one sweep at a time.

struct MailboxDeviceEntry {
    char path[40]; // the disk node, zero-terminated; empty when none was kept
    quint8 capabilities[64];
    int diskCount;
};

struct MailboxDeviceTable {
    static constexpr int kMaxEntries = 32;
    int count = 0;
    MailboxDeviceEntry entries[kMaxEntries] {};
};
MailboxDeviceTable& mailboxDeviceTable();

// The disk answers the probe.
bool probeMailboxDevice(MailboxDiskSource& source, const QString& disk);
// Port 0, target 0. 255 when the disk cannot be reached.
quint32 getMailboxCapabilities(MailboxDiskSource& source, const QString& disk, quint8 out[64]);
// Port 0, target 0, value 5000. 255 when the disk cannot be reached.
quint32 resetMailboxDevice(MailboxDiskSource& source, const QString& disk);

// Probes every disk of the source, keeps one entry per bridge (by the 8 identity bytes
// of its capabilities) and resets each entry's disk. 0, or -2 when no disk answered.
qint32 resetAllMailboxDevices(MailboxDiskSource& source);
