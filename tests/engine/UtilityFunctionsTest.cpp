#include "ExternalVolumes.h"
#include "MessagePresenter.h"
#include "OrdinaryUser.h"
#include "UtilityFunctions.h"
#include "VolumeIdentity.h"
#include "messageViewDelegate.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void writeFile(const QString& path, qint64 size)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, 'x'));
}
} // namespace

TEST(Sizes, TotalSizeOfTaggedEntriesAndLargeFiles)
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/small", 5);
    // 17 MiB plus one byte: a 32-bit float could not tell the byte apart.
    writeFile(dir.path() + "/big", 17LL << 20);
    writeFile(dir.path() + "/one", 1);

    EXPECT_EQ(UtilityFunctions::getTotalSize({ dir.path() + "/small;0A1B-UUID" }), 5);
    EXPECT_EQ(UtilityFunctions::getTotalSize({ dir.path() + "/big;X", dir.path() + "/one" }), (17LL << 20) + 1);
    EXPECT_EQ(UtilityFunctions::getTotalSize({}), 0);
}

TEST(Sizes, FolderIsAllocatedSizeWithoutFollowingLinks)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("tree/sub/.hidden");
    writeFile(dir.path() + "/tree/a", 10000);
    writeFile(dir.path() + "/tree/sub/.hidden/b", 1);
    QTemporaryDir outside;
    writeFile(outside.path() + "/huge", 4 << 20);
    ASSERT_TRUE(QFile::link(outside.path() + "/huge", dir.path() + "/tree/sub/link"));
    ASSERT_TRUE(QFile::link(outside.path(), dir.path() + "/tree/sub/dirlink"));

    const qint64 size = UtilityFunctions::getItemSize(dir.path() + "/tree");
    EXPECT_GE(size, 10001);
    EXPECT_LT(size, 4 << 20);
    EXPECT_EQ(size % 512, 0); // whole blocks
    EXPECT_EQ(UtilityFunctions::getItemSize(dir.path() + "/tree/a"), 10000);
}

TEST(Sizes, CountsWhatACopyWrites)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("tree/sub");
    const QString a = dir.path() + "/tree/a";
    writeFile(a, 10000);
    for (const QString& name : { dir.path() + "/tree/sub/b", dir.path() + "/c" })
        ASSERT_EQ(::link(QFile::encodeName(a).constData(), QFile::encodeName(name).constData()), 0);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(a).constData(), &st), 0);
    const qint64 tree = UtilityFunctions::getItemSize(dir.path() + "/tree");
    EXPECT_EQ(tree, st.st_blocks * 512); // three names, one file
    EXPECT_EQ(UtilityFunctions::getTotalSize({ dir.path() + "/tree", dir.path() + "/c;X" }), tree);
    EXPECT_EQ(UtilityFunctions::getTotalSize({ dir.path() + "/c", a }), 10000);

    // A sparse file counts the space its data takes; a link counts what it points to.
    const QString sparse = dir.path() + "/sparse";
    {
        QFile f(sparse);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 's'));
        ASSERT_TRUE(f.resize(1LL << 30));
    }
    ASSERT_EQ(::stat(QFile::encodeName(sparse).constData(), &st), 0);
    const qint64 allocated = std::min(qint64(st.st_blocks) * 512, qint64(1) << 30);
    ASSERT_TRUE(QFile::link(sparse, dir.path() + "/to-sparse"));
    ASSERT_TRUE(QFile::link(dir.path() + "/tree", dir.path() + "/to-tree"));
    EXPECT_EQ(UtilityFunctions::getTotalSize({ dir.path() + "/to-sparse", dir.path() + "/to-tree" }), allocated + tree);
}

TEST(Sizes, MissingItemAndFreeSpace)
{
    QTemporaryDir dir;
    EXPECT_EQ(UtilityFunctions::getItemSize(dir.path() + "/nothing"), 0);
    EXPECT_GT(UtilityFunctions::getFreeSpace(dir.path() + ";UUID"), 0);
    EXPECT_EQ(UtilityFunctions::getFreeSpace("/proc"), 0); // no volume sizes
    EXPECT_EQ(UtilityFunctions::getFreeSpace(dir.path() + "/nothing/here"), 0);
}

TEST(VolumePaths, ReplaceVolumePrefix)
{
    ExternalVolumes::setOverride(QStringList { "/media/ann", "/run/media/ann", "/media" }, QStringList {});
    EXPECT_EQ(UtilityFunctions::replaceVolumePrefix("/media/ann/Old//a/b/", "/media/ann/New"), "/media/ann/New/a/b");
    EXPECT_EQ(UtilityFunctions::replaceVolumePrefix("/run/media/ann/Old/a", "/media/ann/New"), "/media/ann/New/a");
    EXPECT_EQ(UtilityFunctions::replaceVolumePrefix("/media/Old/a/", "/media/ann/New/"), "/media/ann/New/a");
    EXPECT_EQ(UtilityFunctions::replaceVolumePrefix("/media/ann/Old", "/media/ann/New"), "/media/ann/New");
    // Outside the mount bases the old root is as deep as the new one.
    EXPECT_EQ(UtilityFunctions::replaceVolumePrefix("/Volumes/Old//a/b/", "/Volumes/New"), "/Volumes/New/a/b");
    ExternalVolumes::setOverride(std::nullopt, std::nullopt);
}

TEST(VolumePaths, ExternalPathsAndRoots)
{
    ExternalVolumes::setOverride(QStringList { "/media/ann", "/media" }, QStringList {});
    EXPECT_TRUE(UtilityFunctions::isExternalVolumePath("/media/ann/Backup/Docs"));
    EXPECT_TRUE(UtilityFunctions::isExternalVolumePath("/media/ann/Backup"));
    EXPECT_TRUE(UtilityFunctions::isExternalVolumePath("/media/Stick/x"));
    EXPECT_FALSE(UtilityFunctions::isExternalVolumePath("/media/ann"));
    EXPECT_FALSE(UtilityFunctions::isExternalVolumePath("/media"));
    EXPECT_FALSE(UtilityFunctions::isExternalVolumePath("/home/ann/Docs"));
    EXPECT_FALSE(UtilityFunctions::isExternalVolumePath("/mediax/ann/B"));
    EXPECT_EQ(UtilityFunctions::getVolumeRoot("/media/ann/Backup 1/Docs;UUID").value_or("-"), "/media/ann/Backup 1");
    EXPECT_FALSE(UtilityFunctions::getVolumeRoot("/home/ann/Docs").has_value());
    EXPECT_EQ(UtilityFunctions::tagPathWithDevice("/home/ann/Docs"), "/home/ann/Docs");
    ExternalVolumes::setOverride(std::nullopt, std::nullopt);
}

TEST(VolumePaths, IdentityFileIsCreatedOnceAndReadVerbatim)
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + "/media/ann";
    QDir().mkpath(base + "/Backup/Docs");
    QDir().mkpath(base + "/Old");
    ExternalVolumes::setOverride(QStringList { base }, QStringList { base + "/Backup" });

    const QString tagged = UtilityFunctions::tagPathWithDevice(base + "/Backup/Docs");
    const QStringList parts = tagged.split(';');
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0], base + "/Backup/Docs");
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$").match(parts[1]).hasMatch())
        << parts[1].toStdString();
    QFile id(base + "/Backup/Zorvi.txt");
    ASSERT_TRUE(id.open(QIODevice::ReadOnly));
    EXPECT_EQ(id.readAll(), parts[1].toUtf8()); // no line end
    EXPECT_EQ(UtilityFunctions::getVolumeUUID(base + "/Backup/Docs/deeper").value_or("-"), parts[1]);

    QFile old(base + "/Old/Zorvi.txt");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("ABC\n");
    old.close();
    EXPECT_EQ(UtilityFunctions::getVolumeUUID(base + "/Old/x").value_or("-"), "ABC\n");

    EXPECT_FALSE(UtilityFunctions::getVolumeUUID("/home/ann").has_value());
    ExternalVolumes::setOverride(std::nullopt, std::nullopt);
}

TEST(VolumePaths, UnwritableVolumeHasIdentityHash)
{
    // A "volume root" that is a plain file: no identity file can be made there, even by root.
    QTemporaryDir tmp;
    const QString base = tmp.path() + "/media";
    QDir().mkpath(base);
    QFile blocker(base + "/NotAFolder");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ExternalVolumes::setOverride(QStringList { base }, QStringList {});
    EXPECT_EQ(UtilityFunctions::getVolumeUUID(base + "/NotAFolder/x").value_or("-"), "#");
    ExternalVolumes::setOverride(std::nullopt, std::nullopt);
}

TEST(ExternalVolumesTest, MountInfoLists)
{
    const QByteArray info =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "30 22 8:17 / /media/ann/My\\040Disk rw,nosuid shared:2 - vfat /dev/sdb1 rw\n"
        "31 22 8:33 / /run/media/ann/Stick rw shared:3 - exfat /dev/sdc1 rw\n"
        "32 22 8:49 / /media/Shared rw shared:4 - ext4 /dev/sdd1 rw\n"
        "33 22 8:49 / /media/ann/My\\040Disk/inner rw shared:5 - ext4 /dev/sde1 rw\n"
        "34 22 0:5 / /media/ann rw shared:6 - tmpfs tmpfs rw\n"
        "35 22 8:17 / /media/ann/My\\040Disk rw,nosuid shared:2 - vfat /dev/sdb1 rw\n"
        "36 22 8:65 / /mnt/data rw shared:7 - ext4 /dev/sdf1 rw\n";
    EXPECT_EQ(ExternalVolumes::parseMountInfo(info, ExternalVolumes::defaultBases("ann")),
              (QStringList { "/media/ann/My Disk", "/run/media/ann/Stick", "/media/Shared" }));
}

TEST(ExternalVolumesTest, MountRootByWholeComponents)
{
    ExternalVolumes::setOverride(QStringList { "/media/ann" }, QStringList { "/media/ann/Backup" });
    EXPECT_EQ(ExternalVolumes::mountRoot("/media/ann/Backup/x").value_or("-"), "/media/ann/Backup");
    EXPECT_EQ(ExternalVolumes::mountRoot("/media/ann/Backup").value_or("-"), "/media/ann/Backup");
    EXPECT_FALSE(ExternalVolumes::mountRoot("/media/ann/Backup1/x").has_value());
    ExternalVolumes::setOverride(std::nullopt, std::nullopt);
    EXPECT_FALSE(ExternalVolumes::mountBases().isEmpty());
}

namespace {
class FakePresenter : public MessagePresenter {
public:
    void present(QObject* presenter, const MessageRequest& request, messageViewDelegate* delegate) override
    {
        ++count;
        lastPresenter = presenter;
        last = request;
        lastDelegate = delegate;
    }
    int count = 0;
    QObject* lastPresenter = nullptr;
    MessageRequest last;
    messageViewDelegate* lastDelegate = nullptr;
};

class AnsweringPage : public QObject, public messageViewDelegate {
public:
    void btnClicked(int) override {}
};
} // namespace

TEST(MessageView, ForwardsToThePresenterWithTheDelegateWhenThereIsOne)
{
    UtilityFunctions::setMessagePresenter(nullptr);
    QObject plain;
    UtilityFunctions::showMessageView(&plain, "T", "img", "M", true); // nothing installed: nothing happens

    FakePresenter fake;
    UtilityFunctions::setMessagePresenter(&fake);
    UtilityFunctions::showMessageView(&plain, "Title", "ic_fail", "Message", true);
    ASSERT_EQ(fake.count, 1);
    EXPECT_EQ(fake.lastPresenter, &plain);
    EXPECT_EQ(fake.last.title, "Title");
    EXPECT_EQ(fake.last.imageName, "ic_fail");
    EXPECT_EQ(fake.last.message, "Message");
    EXPECT_TRUE(fake.last.showSecondBtn);
    EXPECT_EQ(fake.lastDelegate, nullptr);

    AnsweringPage page;
    UtilityFunctions::showMessageView(&page, "A", "B", "C", false);
    EXPECT_EQ(fake.lastDelegate, static_cast<messageViewDelegate*>(&page));
    EXPECT_FALSE(fake.last.showSecondBtn);
    UtilityFunctions::setMessagePresenter(nullptr);
}

// The identity file as the drives' checks read it: never blocked by a special file, read
// through a link, refused to a person who may not read it.
TEST(VolumePaths, IdentityFilesAreReadWithoutBlocking)
{
    QTemporaryDir tmp;
    ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
    const QString media = tmp.path() + "/media";
    ExternalVolumes::setOverride(QStringList { media }, QStringList {});
    const auto identityOf = [&](const QString& card) {
        return VolumeIdentity::read(media + "/" + card + "/DCIM").value_or(VolumeIdentity {});
    };
    for (const char* card : { "Fifo", "Linked", "Locked" })
        QDir().mkpath(media + "/" + card + "/DCIM");
    ASSERT_EQ(::mkfifo(QFile::encodeName(media + "/Fifo/Zorvi.txt").constData(), 0644), 0);
    writeFile(tmp.path() + "/elsewhere", 3);
    QFile::link(tmp.path() + "/elsewhere", media + "/Linked/Zorvi.txt");
    writeFile(media + "/Locked/Zorvi.txt", 3);
    ::chmod(QFile::encodeName(media + "/Locked/Zorvi.txt").constData(), 0);

    EXPECT_EQ(identityOf("Fifo").state, VolumeIdentity::State::Unusable);
    EXPECT_EQ(identityOf("Fifo").reason, "it is not a plain file");
    EXPECT_EQ(identityOf("Linked").state, VolumeIdentity::State::Carried);
    EXPECT_EQ(identityOf("Linked").identity, "xxx");
    EXPECT_EQ(identityOf("Absent").state, VolumeIdentity::State::Missing);
    EXPECT_FALSE(VolumeIdentity::read(tmp.path() + "/home").has_value());
    EXPECT_EQ(OrdinaryUser::runInChild([&] {
                  const VolumeIdentity locked = identityOf("Locked");
                  return locked.state == VolumeIdentity::State::Unusable && locked.reason == "Permission denied" ? 0 : 1;
              }),
              0);
    ExternalVolumes::setOverride(std::nullopt, std::nullopt);
}
