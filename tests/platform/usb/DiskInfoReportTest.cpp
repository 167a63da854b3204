#include "DiskInfoReport.h"
#include "FakeSystemTree.h"
#include "MountTable.h"

#include <QMap>
#include <gtest/gtest.h>

#include <sys/statvfs.h>

namespace {

// Reads the report the way drive discovery does: key before the first ":", value after
// the last one, only lines that name a space, a mount point or a personality.
QMap<QString, QString> discoveryView(const QString& text)
{
    QMap<QString, QString> found;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1String("Space")) && !line.contains(QLatin1String("Point"))
            && !line.contains(QLatin1String("Personality")))
            continue;
        const QStringList pieces = line.split(QLatin1Char(':'));
        const QString key = pieces.first();
        const QString value = pieces.last();
        if (key.contains(QLatin1String("Mount Point")))
            found.insert(QStringLiteral("path"), value.split(QLatin1Char('/')).last());
        if (key.contains(QLatin1String("File System Personality")))
            found.insert(QStringLiteral("system"), QString(value).remove(QLatin1Char(' ')));
        for (const char* space : {"Total Space", "Used Space", "Free Space"}) {
            if (key.contains(QLatin1String(space))) {
                const QString bytes = value.section(QStringLiteral(" Bytes"), 0, 0).section(QStringLiteral(" ("), -1);
                found.insert(QLatin1String(space), bytes);
            }
        }
    }
    return found;
}

} // namespace

TEST(DiskInfoReportTest, MountedExfatFatAndExt4VolumesGiveTheLinesDiscoveryReads)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    const DiskInfoReport report(tree.roots());

    struct Case {
        QString id, folder, system;
    };
    for (const Case& c : {Case{"sdb1", "ZORVI DISK", "ExFAT"}, Case{"/dev/sdb2", "BACKUP", "MS-DOSFAT32"},
                          Case{"sda1", "root", "ext4"}}) {
        SCOPED_TRACE(c.id.toStdString());
        const QString text = report.info(c.id);
        const auto view = discoveryView(text);
        EXPECT_EQ(view.value("path"), c.folder);
        EXPECT_EQ(view.value("system"), c.system);

        struct statvfs st {};
        ASSERT_EQ(::statvfs(tree.path("media/" + c.folder).toLocal8Bit().constData(), &st), 0);
        const quint64 unit = st.f_frsize;
        bool ok = false;
        EXPECT_EQ(view.value("Total Space").toULongLong(&ok), quint64(st.f_blocks) * unit);
        EXPECT_TRUE(ok);
        // Used and free move with the disk's state; they must be numbers within the total.
        const quint64 total = view.value("Total Space").toULongLong();
        EXPECT_LE(view.value("Used Space").toULongLong(&ok), total);
        EXPECT_TRUE(ok);
        EXPECT_LE(view.value("Free Space").toULongLong(&ok), total);
        EXPECT_TRUE(ok);
        // The full mount point is on its line.
        EXPECT_TRUE(text.contains("Mount Point:               " + tree.path("media/" + c.folder) + "\n")) << text.toStdString();
    }
}

TEST(DiskInfoReportTest, UnmountedAndUnknownDevices)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    SystemRoots roots = tree.roots();
    roots.mountinfo = tree.path("missing");
    const DiskInfoReport report(roots);

    // Not mounted: no mount point and no space lines, so discovery makes no record.
    const QString text = report.info("sdb1");
    EXPECT_TRUE(text.contains("Mounted:                   No"));
    const auto view = discoveryView(text);
    EXPECT_FALSE(view.contains("path"));
    EXPECT_FALSE(view.contains("Total Space"));
    EXPECT_EQ(view.value("system"), "ExFAT");

    EXPECT_TRUE(report.info("sdz9").isEmpty());
    EXPECT_TRUE(report.info("").isEmpty());
    EXPECT_TRUE(report.info("../sdb1").isEmpty());
    EXPECT_TRUE(report.list("sdz").isEmpty());
}

TEST(DiskInfoReportTest, ListNamesTheDiskAndEachPartition)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    const QString text = DiskInfoReport(tree.roots()).list("sdb2");
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << text.toStdString();
    EXPECT_TRUE(lines.at(0).startsWith("/dev/sdb ("));
    EXPECT_TRUE(lines.at(2).endsWith(" sdb"));
    EXPECT_TRUE(lines.at(3).contains("ExFAT") && lines.at(3).contains("ZORVI_DISK") && lines.at(3).endsWith(" sdb1"));
    EXPECT_TRUE(lines.at(4).endsWith(" sdb2"));
}

TEST(DiskInfoReportTest, SpaceTextCarriesTheExactByteCount)
{
    EXPECT_EQ(DiskInfoReport::spaceText(31914983424ull),
              QStringLiteral("31.9 GB (31914983424 Bytes) (exactly 62333952 512-Byte-Units)"));
    EXPECT_EQ(DiskInfoReport::spaceText(999), QStringLiteral("999 B (999 Bytes) (exactly 1 512-Byte-Units)"));
}

TEST(MountTableTest, ParsesEscapedFieldsOptionalTagsAndPrefersWholeMounts)
{
    const QByteArray text =
        "36 25 8:17 /sub /mnt/bind rw - exfat /dev/sdb1 rw\n"
        "37 25 8:17 / /media/u/My\\040Disk\\134x rw,relatime shared:1 master:2 - exfat /dev/sdb1 rw\n"
        "garbage line\n"
        "38 25 0:45 / /media/u/ntfs rw - fuseblk /dev/sdc1 rw\n"
        "39 25 8:33 / /x rw\n";
    const MountTable table = MountTable::parse(text);
    ASSERT_EQ(table.entries().size(), 3);

    const MountTable::Entry* e = table.find("8:17", "/dev/sdb1");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->mountPoint, QStringLiteral("/media/u/My Disk\\x"));
    EXPECT_EQ(e->fsType, QStringLiteral("exfat"));

    // FUSE mounts carry a made-up device number: found by their source.
    const MountTable::Entry* fuse = table.find("8:33", "/dev/sdc1");
    ASSERT_NE(fuse, nullptr);
    EXPECT_EQ(fuse->mountPoint, QStringLiteral("/media/u/ntfs"));
    EXPECT_EQ(table.find("9:9", "/dev/none"), nullptr);
    EXPECT_EQ(MountTable::unescape("a\\04"), QStringLiteral("a\\04"));
}
