#include "Mailbox.h"
#include "MailboxDevices.h"

#include <QList>
#include <QMap>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <tuple>

namespace {

// A disk whose bridge answers each command in sector 17, per operation code.
struct FakeDisk {
    QList<quint32> reads;
    QMap<quint8, quint8> statuses { { 0x10, 0x00 }, { 0x11, 0x20 }, { 0xF0, 0x00 } };
    quint8 identity = 1;
    bool answers = true;
    bool tailMarker = true;
    int failReadAt = -1;
    std::chrono::milliseconds readTime { 0 };
};

class FakeSectorReader : public SectorReader {
public:
    explicit FakeSectorReader(FakeDisk& disk)
        : m_disk(disk)
    {
    }
    bool readSector(quint32 lba, quint8 out[kSectorSize]) override
    {
        if (m_disk.reads.size() == m_disk.failReadAt)
            return false;
        m_disk.reads << lba;
        std::this_thread::sleep_for(m_disk.readTime);
        std::memset(out, 0, kSectorSize);
        if (lba != 17 || !m_disk.answers)
            return true;
        // The operation is the first parameter sector after the command's first sector.
        quint8 op = 0;
        for (qsizetype i = m_disk.reads.lastIndexOf(67); i < m_disk.reads.size(); ++i) {
            if (m_disk.reads[i] >= 512 && m_disk.reads[i] < 768) {
                op = quint8(m_disk.reads[i] - 512);
                break;
            }
        }
        std::memcpy(out, "__BRIDGE_MBOX1__", 16);
        if (m_disk.tailMarker)
            std::memcpy(out + 496, "_PORTMULTIPLIER_", 16);
        out[48] = m_disk.statuses.value(op, 0x21);
        for (int i = 0; i < 64; ++i)
            out[80 + i] = quint8(i);
        out[80 + 16] = m_disk.identity;
        out[80 + 36] = 0; // a bridge with one disk
        return true;
    }

private:
    FakeDisk& m_disk;
};

struct FakeDiskSource : MailboxDiskSource {
    QMap<QString, FakeDisk> disk;
    QStringList disks() override { return disk.keys(); }
    std::unique_ptr<SectorReader> open(const QString& name) override
    {
        return std::make_unique<FakeSectorReader>(disk[name]);
    }
};

struct Fixture {
    FakeDisk disk;
    FakeSectorReader reader { disk };
    MailboxContext c;
    Fixture() { c.reader = &reader; }
};

} // namespace

TEST(MailboxTest, CommandsAreFramedAsGoldenSectorNumbers)
{
    Fixture f;
    FakeDisk& disk = f.disk;
    MailboxContext& c = f.c;
    ASSERT_EQ(mailboxProbe(c), 0u);
    EXPECT_EQ(disk.reads, (QList<quint32> { 67, 113, 167, 223, 256, 260, 495, 511, 528, 719, 735, 751, 1051, 1247, 1080, 1070, 17 }));

    // Port 0 and target 0 give two equal neighbours: the spacer sector goes between them.
    disk.reads.clear();
    quint8 caps[64];
    ASSERT_EQ(mailboxGetCapabilities(c, 0, 0, caps), 0u);
    EXPECT_EQ(disk.reads.mid(4, 5), (QList<quint32> { 256, 260, 256, 0x5FFF, 256 }));
    EXPECT_EQ(caps[0], 0);
    EXPECT_EQ(caps[63], 63);

    // The long form: 128 payload sectors and a check over all 144 bytes.
    disk.reads.clear();
    quint8 block[128];
    for (int i = 0; i < 128; ++i)
        block[i] = quint8(i + 1);
    mailboxWriteBlock(c, 1, 2, block, 0x1234);
    EXPECT_EQ(disk.reads.mid(4, 8), (QList<quint32> { 257, 261, 257, 258, 512 + 0xB0, 512 + 0xCF, 512 + 0x12, 512 + 0x34 }));
    EXPECT_EQ(disk.reads.mid(12, 2), (QList<quint32> { 769, 770 }));
    EXPECT_EQ(disk.reads.size(), 144 + 1);

    EXPECT_EQ(mailboxCrc(reinterpret_cast<const quint8*>("123456789"), 9), 0xCBF43926u);
}

TEST(MailboxTest, AnswersStatusesAndFailures)
{
    Fixture f;
    FakeDisk& disk = f.disk;
    MailboxContext& c = f.c;
    quint8 out[384];

    disk.statuses[0x15] = 0x21;
    EXPECT_EQ(mailboxRead164(c, 0, 0, out), 244u);
    disk.statuses[0x15] = 0xC0;
    EXPECT_EQ(mailboxRead164(c, 0, 0, out), 0xC0u);

    // Half an answer is none: the poll goes on until the time-out, however slow each read is.
    disk.tailMarker = false;
    disk.readTime = std::chrono::milliseconds(30);
    disk.reads.clear();
    EXPECT_EQ(mailboxProbe(c), 242u);
    EXPECT_GT(disk.reads.count(17), 1);
    disk.readTime = {};
    disk.tailMarker = true;

    disk.failReadAt = 3;
    disk.reads.clear();
    EXPECT_EQ(mailboxProbe(c), 255u);
    disk.failReadAt = 16;
    disk.reads.clear();
    EXPECT_EQ(mailboxProbe(c), 241u);
}

TEST(MailboxTest, PortAndTargetRule)
{
    const std::tuple<quint8, quint8, bool> pairs[] = { { 16, 0, false }, { 255, 0xFF, true }, { 15, 0x44, true }, { 0, 0x05, false }, { 0, 0x50, false }, { 0x20, 0, false } };
    for (auto [port, target, valid] : pairs)
        EXPECT_EQ(isValidPortTarget(port, target), valid) << int(port) << ' ' << int(target);

    Fixture f;
    FakeDisk& disk = f.disk;
    MailboxContext& c = f.c;
    quint8 out[384];
    EXPECT_EQ(mailboxReset(c, 16, 0, 5000), 246u);
    EXPECT_EQ(mailboxRead384(c, 0, 0x50, out), 246u);
    EXPECT_EQ(mailboxReadByte(c, 0, 5, 1, out), 246u);
    EXPECT_TRUE(disk.reads.isEmpty());
}

TEST(MailboxTest, SweepResetsEachBridgeOnce)
{
    FakeDiskSource source;
    source.disk[QStringLiteral("/dev/sdb")] = FakeDisk();
    source.disk[QStringLiteral("/dev/sdc")] = FakeDisk(); // the same bridge as sdb
    source.disk[QStringLiteral("/dev/sdd")].answers = false;
    source.disk[QStringLiteral("/dev/sde")].identity = 2;

    ASSERT_EQ(resetAllMailboxDevices(source), 0);
    const MailboxDeviceTable& table = mailboxDeviceTable();
    ASSERT_EQ(table.count, 2);
    EXPECT_STREQ(table.entries[0].path, "/dev/sdb");
    EXPECT_EQ(table.entries[0].diskCount, 2);
    EXPECT_STREQ(table.entries[1].path, "/dev/sde");
    const quint32 reset = 512 + 0xF0;
    QList<bool> resets;
    for (const FakeDisk& d : source.disk)
        resets << d.reads.contains(reset);
    EXPECT_EQ(resets, (QList<bool> { true, false, false, true }));

    FakeDiskSource silent;
    silent.disk[QStringLiteral("/dev/sdb")].answers = false;
    EXPECT_EQ(resetAllMailboxDevices(silent), -2);
    EXPECT_EQ(mailboxDeviceTable().count, 0);
}
