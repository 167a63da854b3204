#include "MailboxDevices.h"

#include "ChipLog.h"
#include "Mailbox.h"

#include <QFile>

#include <cstring>
#include <functional>

namespace {

constexpr int kIdentityOffset = 16;
constexpr int kIdentityLength = 8;
constexpr int kKindOffset = 36;

quint32 onDisk(MailboxDiskSource& source, const QString& disk, const std::function<quint32(MailboxContext&)>& op)
{
    const std::unique_ptr<SectorReader> reader = source.open(disk);
    if (!reader)
        return kMailboxSendFailed;
    MailboxContext context;
    context.reader = reader.get();
    return op(context);
}

} // namespace

MailboxDeviceTable& mailboxDeviceTable()
{
    static MailboxDeviceTable table;
    return table;
}

bool probeMailboxDevice(MailboxDiskSource& source, const QString& disk)
{
    return onDisk(source, disk, [](MailboxContext& c) { return mailboxProbe(c); }) == 0;
}

quint32 getMailboxCapabilities(MailboxDiskSource& source, const QString& disk, quint8 out[64])
{
    const quint32 r = onDisk(source, disk, [out](MailboxContext& c) { return mailboxGetCapabilities(c, 0, 0, out); });
    if (r != 0)
        qCWarning(lcChiplib, "Get Capabilities test status:%02x", r);
    return r;
}

quint32 resetMailboxDevice(MailboxDiskSource& source, const QString& disk)
{
    const quint32 r = onDisk(source, disk, [](MailboxContext& c) { return mailboxReset(c, 0, 0, 5000); });
    if (r != 0)
        qCWarning(lcChiplib, "Reset 109 status:%02x", r);
    return r;
}

qint32 resetAllMailboxDevices(MailboxDiskSource& source)
{
    MailboxDeviceTable& table = mailboxDeviceTable();
    table = MailboxDeviceTable();
    for (const QString& disk : source.disks()) {
        const QByteArray path = QFile::encodeName(disk);
        if (path.size() >= qsizetype(sizeof MailboxDeviceEntry::path)) {
            qCWarning(lcChiplib, "disk path too long for the device table: %s", path.constData());
            continue;
        }
        if (!probeMailboxDevice(source, disk))
            continue;
        quint8 capabilities[64] {};
        const bool known = getMailboxCapabilities(source, disk, capabilities) == 0;
        // Disks behind one bridge share its identity; the bridge is reset once.
        MailboxDeviceEntry* same = nullptr;
        for (int i = 0; known && i < table.count && !same; ++i) {
            if (std::memcmp(table.entries[i].capabilities + kIdentityOffset, capabilities + kIdentityOffset,
                            kIdentityLength)
                == 0)
                same = &table.entries[i];
        }
        if (same) {
            ++same->diskCount;
            continue;
        }
        if (table.count >= MailboxDeviceTable::kMaxEntries) {
            qCWarning(lcChiplib, "device table full, %s left out", path.constData());
            continue;
        }
        MailboxDeviceEntry& e = table.entries[table.count++];
        std::memcpy(e.capabilities, capabilities, sizeof capabilities);
        // Without capabilities the disk cannot be matched with others; it is reset on its own.
        const quint8 kind = known ? capabilities[kKindOffset] : 0;
        if (kind == 0)
            e.diskCount = 1;
        if (kind <= 3 || kind == 15 || kind == 16)
            std::memcpy(e.path, path.constData(), size_t(path.size()) + 1);
    }
    if (table.count == 0)
        return -2;
    for (int i = 0; i < table.count; ++i) {
        if (table.entries[i].path[0])
            resetMailboxDevice(source, QString::fromLocal8Bit(table.entries[i].path));
    }
    return 0;
}
