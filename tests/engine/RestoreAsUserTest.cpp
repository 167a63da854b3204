// Backups and restores as a person without special rights meets them, through the engine's
// command-line driver in a child process: a user's folder in a folder only root may write
// (a home folder under /home, a folder under /srv), backed up to the same file system and to
// another one, as every USB drive is.
#include "FailPoint.h"
#include "OrdinaryUser.h"
#include "RawNames.h"
#include "TaskInfo.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QRandomGenerator>
#include <QThreadPool>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct stat statOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

void setTime(const QString& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

// Our work folders ("*/.zorvi-XXXXXX") anywhere below `root`, itself included.
QStringList leftovers(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QFileInfo(path).fileName();
        if (name.startsWith(".zorvi-") && name.size() == 13)
            found << path;
    }
    return found;
}

class RestoreAsUser : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString mounted;   // a tmpfs this test mounted
    QString otherFs;   // a folder on another file system than tmp, or empty
    QTemporaryDir shm { "/dev/shm/zorvi-test-XXXXXX" };

    QString userHome() const { return tmp.path() + "/userhome"; }
    QString homes() const { return tmp.path() + "/home"; }      // like /home: only root writes
    QString ann() const { return homes() + "/ann"; }
    QString shared() const { return tmp.path() + "/shared"; }   // like /srv: only root writes
    QString drive() const { return tmp.path() + "/drive"; }

    void SetUp() override
    {
#ifndef ZORVI_ENGINE_DRIVER
        GTEST_SKIP() << "built without the engine's command-line driver";
#endif
        ASSERT_TRUE(tmp.isValid());
        ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
        for (const QString& folder : {userHome(), drive(), ann(), shared()})
            QDir().mkpath(folder);
        OrdinaryUser::own(userHome());
        OrdinaryUser::own(drive());
        const QString mountPoint = tmp.path() + "/other";
        QDir().mkpath(mountPoint);
        if (OrdinaryUser::testsRunAsRoot()
            && ::mount("zorvi-test", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "mode=0777,size=512m") == 0) {
            mounted = otherFs = mountPoint;
        } else if (shm.isValid() && statOf(shm.path()).st_dev != statOf(tmp.path()).st_dev) {
            otherFs = shm.path();
            ::chmod(QFile::encodeName(otherFs).constData(), 0777);
        }
    }

    void TearDown() override
    {
        QThreadPool::globalInstance()->waitForDone();   // work folders removed in the background
        // Our own files in the locked folders go with the temporary folder.
        for (const QString& folder : {homes(), shared()})
            ::chmod(QFile::encodeName(folder).constData(), 0755);
        if (!mounted.isEmpty())
            ::umount2(QFile::encodeName(mounted).constData(), MNT_DETACH);
        // QDir cannot remove names that are not UTF-8, and the copies to /dev/shm hold them too.
        for (const QTemporaryDir* dir : {&tmp, &shm}) {
            std::error_code ignored;
            if (dir->isValid())
                std::filesystem::remove_all(QFile::encodeName(dir->path()).toStdString(), ignored);
        }
    }

    // Under root the folder stays root's, which the user may not write; otherwise it is
    // made read-only for its owner, ourselves.
    void lock(const QString& folder) { ::chmod(QFile::encodeName(folder).constData(), OrdinaryUser::testsRunAsRoot() ? 0755 : 0555); }
    void unlock(const QString& folder) { ::chmod(QFile::encodeName(folder).constData(), 0755); }

    OrdinaryUser::Run drive(const QString& action, const QString& mode, const QString& dest, const QString& name,
                            const QStringList& sources)
    {
        QStringList args{action, "--mode", mode, "--dest", dest, "--name", name};
        if (mode == "7z-enc")
            args << "--password-stdin";
        return OrdinaryUser::run(QStringLiteral(ZORVI_ENGINE_DRIVER), args + sources, userHome(), "pass word\n");
    }
};

} // namespace

// One mode a case, so the three run side by side.
class RestoreAsUserInEveryMode : public RestoreAsUser, public ::testing::WithParamInterface<const char*> {};

TEST_P(RestoreAsUserInEveryMode, RestoresTheHomeFolderFromTheSameAndAnotherFileSystem)
{
    writeFile(ann() + "/Docs/a.txt", "alpha");
    writeFile(ann() + "/Docs/sub/b.txt", "beta");
    writeFile(ann() + "/photo.jpg", QByteArray(5000, 'p'));
    {
        // 32 MiB that hold 8 KiB: a disk image, say.
        QFile image(ann() + "/Docs/disk.img");
        ASSERT_TRUE(image.open(QIODevice::WriteOnly));
        image.write(QByteArray(4096, 'h'));
        image.seek((32 << 20) - 4096);
        image.write(QByteArray(4096, 't'));
    }
    // Not every name is UTF-8, and a backslash is part of a name: one in a folder merged
    // into, two that a lossy reading would make one in a folder restored whole.
    const QByteArray docs = QFile::encodeName(ann() + "/Docs");
    const QList<QByteArray> odd{"/caf\xe8", "/sub/caf\xe8", "/sub/caf\xe9", "/sub/back\\slash"};
    for (const QByteArray& name : odd)
        ASSERT_TRUE(writeRawFile(docs + name, name));
    setTime(ann() + "/Docs/a.txt", 1000000000);
    setTime(ann() + "/Docs/sub", 1100000000);
    setTime(ann() + "/Docs", 1200000000);
    OrdinaryUser::own(ann());
    lock(homes());

    QStringList dests{drive()};
    if (!otherFs.isEmpty())
        dests << otherFs;
    else
        std::cerr << "No second file system here (no tmpfs mount, /dev/shm on the same one): only the same one is tried.\n";
    const QString mode = QString::fromLatin1(GetParam());
    int n = 0;
    for (const QString& dest : dests) {
        {
            SCOPED_TRACE((mode + " to " + dest).toStdString());
            const QString name = QString("T%1").arg(++n);
            OrdinaryUser::Run run = drive("backup", mode, dest, name, {ann()});
            ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();

            // The user's changes since: a file changed, a folder deleted.
            writeFile(ann() + "/Docs/a.txt", "changed");
            ASSERT_TRUE(writeRawFile(docs + "/caf\xe8", "changed"));
            std::filesystem::remove_all(QFile::encodeName(ann() + "/Docs/sub").toStdString());
            run = drive("restore", mode, dest, name, {ann()});
            ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();

            EXPECT_EQ(readFile(ann() + "/Docs/a.txt"), "alpha");
            EXPECT_EQ(readFile(ann() + "/Docs/sub/b.txt"), "beta");
            for (const QByteArray& name : odd)
                EXPECT_EQ(readRawFile(docs + name), name) << name.toHex().constData();
            EXPECT_EQ(rawEntries(docs + "/sub").size(), 4);
            EXPECT_EQ(statOf(ann() + "/Docs/a.txt").st_mtim.tv_sec, 1000000000);
            EXPECT_EQ(statOf(ann() + "/Docs/sub").st_mtim.tv_sec, 1100000000) << "a folder moved in whole";
            EXPECT_EQ(statOf(ann() + "/Docs").st_mtim.tv_sec, 1200000000) << "a folder merged into";
            EXPECT_EQ(statOf(ann() + "/Docs/disk.img").st_size, 32 << 20);
            EXPECT_LT(statOf(ann() + "/Docs/disk.img").st_blocks * 512, 4 << 20) << "the runs of zeros stay holes";
            EXPECT_EQ(statOf(ann() + "/Docs/a.txt").st_uid, OrdinaryUser::uid());
            EXPECT_EQ(leftovers(homes()), QStringList());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RestoreAsUserInEveryMode, ::testing::Values("copy", "7z", "7z-enc"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param == std::string("7z-enc") ? "Encrypted7z"
                                                : info.param == std::string("7z") ? "Archive7z" : "PlainCopy");
                         });

TEST_F(RestoreAsUser, AnItemThatCannotBeCreatedFailsAloneAndTheRestComesBack)
{
    writeFile(ann() + "/a.txt", "alpha");
    OrdinaryUser::own(ann());
    lock(homes());
    for (const QString mode : {"copy", "7z"}) {
        SCOPED_TRACE(mode.toStdString());
        unlock(shared());
        writeFile(shared() + "/Projects/plan.txt", "plan");
        OrdinaryUser::own(shared() + "/Projects");
        lock(shared());
        const QString name = "Two-" + mode;
        OrdinaryUser::Run run = drive("backup", mode, drive(), name, {ann(), shared() + "/Projects"});
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();

        // Gone from a folder the user may not write in: only its owner can bring it back.
        unlock(shared());
        ASSERT_TRUE(QDir(shared() + "/Projects").removeRecursively());
        lock(shared());
        QFile::remove(ann() + "/a.txt");
        run = drive("restore", mode, drive(), name, {ann(), shared() + "/Projects"});
        EXPECT_EQ(run.exitCode, 1);
        const QString expected = "\"" + shared() + "/Projects\" was not restored: you may not write in the folder \""
            + shared() + "\".";
        EXPECT_TRUE(run.output.contains(expected.toUtf8())) << run.output.toStdString();
        EXPECT_FALSE(run.output.contains("Permission denied")) << run.output.toStdString();
        EXPECT_EQ(readFile(ann() + "/a.txt"), "alpha");
        EXPECT_EQ(leftovers(tmp.path()), QStringList());
    }
}

TEST_F(RestoreAsUser, ARestoreKilledWithItsWorkFoldersMadeLeavesNothingAfterTheNextRun)
{
    // Root or not: this is about what a killed run leaves, not about rights.
    writeFile(ann() + "/Docs/a.txt", "alpha");
    writeFile(homes() + "/bob/b.txt", "beta");
    for (const qint64 mode : {1, 2}) {
        for (const char* point : {"restore-work-folder-made", "restore-staged"}) {
            SCOPED_TRACE(std::string(point) + " mode " + std::to_string(mode));
            const QString name = QString("K%1%2").arg(mode).arg(point);
            auto task = TaskInfo::initWithValues(name, "", {ann(), homes() + "/bob"}, drive(), {}, mode, "", "None", 0, 0,
                                                 {}, {}, 0, 0, 0, 0, 0, 0, {}, false);
            QString message;
            ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
            QThreadPool::globalInstance()->waitForDone();
            // One place merged into (its work folder inside it), one missing (beside it).
            ASSERT_TRUE(QDir(homes() + "/bob").removeRecursively());
            const pid_t child = ::fork();
            if (child == 0) {
                FailPoint::setHandler([point](std::string_view hit) {
                    if (hit == point)
                        ::_exit(9);
                });
                QString m;
                task->performRestore("", nullptr, m);
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
            ASSERT_FALSE(leftovers(homes()).isEmpty()) << "the kill came after the work folders were made";

            // The next run clears them before it does anything else, a backup as well as a restore.
            writeFile(homes() + "/bob/b.txt", "beta");
            ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
            QThreadPool::globalInstance()->waitForDone();
            EXPECT_EQ(leftovers(homes()), QStringList());
            EXPECT_EQ(leftovers(drive()), QStringList()) << "nothing of a work folder went into the backup";
        }
    }
}

TEST_F(RestoreAsUser, ARestoreStoppedHalfWayThroughPutsEveryPlaceBack)
{
    // Two places: the first is merged into, then the second fails or the user cancels. The
    // user's newer files at the first must come back, not a mix of old and new.
    const QString first = ann() + "/First";
    const QString second = ann() + "/Second";
    writeFile(first + "/a.txt", "backed up");
    writeFile(first + "/sub/b.txt", "backed up");
    writeFile(second + "/locked/c.txt", "backed up");
    OrdinaryUser::own(ann());
    lock(homes());
    for (const QString mode : {"copy", "7z"}) {
        SCOPED_TRACE(mode.toStdString());
        const QString name = "H" + mode;
        OrdinaryUser::Run run = drive("backup", mode, drive(), name, {first, second});
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        for (const QString& file : {first + "/a.txt", first + "/sub/b.txt", second + "/locked/c.txt"})
            writeFile(file, "newer");
        OrdinaryUser::own(ann());

        // A folder the user may not write in, met half way through.
        ::chmod(QFile::encodeName(second + "/locked").constData(), 0555);
        run = drive("restore", mode, drive(), name, {first, second});
        ::chmod(QFile::encodeName(second + "/locked").constData(), 0755);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_EQ(readFile(first + "/a.txt"), "newer") << "put back after the failure";
        EXPECT_EQ(readFile(first + "/sub/b.txt"), "newer");
        EXPECT_EQ(readFile(second + "/locked/c.txt"), "newer");
        EXPECT_EQ(leftovers(ann()), QStringList());
    }

    // A cancel once the first file was replaced (root or not: this is about the order of things).
    auto task = TaskInfo::initWithValues("Cancelled", "", {first, second}, drive(), {}, 1, "", "None", 0, 0, {}, {}, 0, 0,
                                         0, 0, 0, 0, {}, false);
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    QThreadPool::globalInstance()->waitForDone();
    for (const QString& file : {first + "/a.txt", first + "/sub/b.txt", second + "/locked/c.txt"})
        writeFile(file, "newest");
    FailPoint::setHandler([&task](std::string_view point) {
        if (point == "restore-item-replaced")
            task->BackupRestoreCancel = true;
    });
    EXPECT_FALSE(task->performRestore("", nullptr, message));
    FailPoint::setHandler(nullptr);
    QThreadPool::globalInstance()->waitForDone();
    for (const QString& file : {first + "/a.txt", first + "/sub/b.txt", second + "/locked/c.txt"})
        EXPECT_EQ(readFile(file), "newest") << file.toStdString();
    EXPECT_EQ(leftovers(ann()), QStringList());
}

TEST_F(RestoreAsUser, ARestoreThatFillsTheDiskSaysWhichAndChangesNothing)
{
    // A home on a disk of its own with room for the file but not for a second copy of it.
    const QString dan = homes() + "/dan";
    QDir().mkpath(dan);
    if (!OrdinaryUser::testsRunAsRoot()
        || ::mount("zorvi-test", QFile::encodeName(dan).constData(), "tmpfs", 0, "size=3m,mode=0755") != 0)
        GTEST_SKIP() << "needs a small disk of its own: root, where mounts are allowed";
    const auto undo = qScopeGuard([&] { ::umount2(QFile::encodeName(dan).constData(), MNT_DETACH); });
    QByteArray noise(2 << 20, Qt::Uninitialized);
    QRandomGenerator(9).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    writeFile(dan + "/f.bin", noise);
    OrdinaryUser::own(dan);
    for (const QString mode : {"copy", "7z"}) {
        SCOPED_TRACE(mode.toStdString());
        OrdinaryUser::Run run = drive("backup", mode, drive(), "F" + mode, {dan});
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        QByteArray newer = noise;
        newer[0] = char(newer[0] ^ 1);
        writeFile(dan + "/f.bin", newer);
        run = drive("restore", mode, drive(), "F" + mode, {dan});
        EXPECT_NE(run.exitCode, 0);
        const QString said = mode == "copy" ? "There is not enough free space on the disk of \"" + dan + "\""
                                            : "\"" + dan + "/f.bin\": No space left on device";
        const QByteArray message = run.output.mid(run.output.lastIndexOf("message="));
        EXPECT_TRUE(message.contains(said.toUtf8())) << run.output.toStdString();
        EXPECT_FALSE(message.contains(".zorvi-")) << "the work folder is gone by the time it is read";
        EXPECT_EQ(readFile(dan + "/f.bin"), newer);
        EXPECT_EQ(leftovers(dan), QStringList());
    }
}

TEST_F(RestoreAsUser, FoldersTheUserCannotReadAreCountedInTheBackupsMessageAndNamedInTheLog)
{
    writeFile(ann() + "/Docs/a.txt", "alpha");
    writeFile(ann() + "/Private/secret.txt", "secret");
    writeFile(ann() + "/Listed/name-only.txt", "listed");
    OrdinaryUser::own(ann());
    // Closed even to their owner: one cannot be opened, the other listed but not looked into.
    const QByteArray closed = QFile::encodeName(ann() + "/Private");
    const QByteArray listed = QFile::encodeName(ann() + "/Listed");
    ASSERT_EQ(::chmod(closed.constData(), 0), 0);
    ASSERT_EQ(::chmod(listed.constData(), 0444), 0);

    const OrdinaryUser::Run run = drive("backup", "copy", drive(), "Closed", {ann()});
    ::chmod(closed.constData(), 0755);
    ::chmod(listed.constData(), 0755);

    // The run went on to the copy, which failed on its own account, and both say so.
    EXPECT_EQ(run.exitCode, 1) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("message=Cannot read")) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("2 folders of the sources could not be read: the free space was checked without them."))
        << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("Could not read 2 folder(s) while measuring the sources:")) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(closed + ": Permission denied")) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(listed + ": Permission denied")) << run.output.toStdString();
}

// A card that only root may write at its top, as a drive formatted by root is: its user writes
// the photos folder but cannot give the card an identity. In the place of the card a task
// backed up, it is never written with that card's backup.
TEST_F(RestoreAsUser, ACardThatCannotBeGivenAnIdentityNeverGetsAnotherCardsBackup)
{
    if (!OrdinaryUser::testsRunAsRoot())
        GTEST_SKIP() << "mounting a card needs root";
    ASSERT_TRUE(QDir().mkpath("/media"));
    QTemporaryDir card("/media/zorvi-test-XXXXXX");
    ASSERT_TRUE(card.isValid());
    const QByteArray point = QFile::encodeName(card.path());
    const auto insert = [&](const QByteArray& identity, const QByteArray& photo) {
        ASSERT_EQ(::mount("zorvi-card", point.constData(), "tmpfs", 0, "mode=0755,size=16m"), 0) << std::strerror(errno);
        if (!identity.isEmpty())
            writeFile(card.path() + "/Zorvi.txt", identity);
        writeFile(card.path() + "/DCIM/IMG_0001.JPG", photo);
        OrdinaryUser::own(card.path() + "/DCIM");
    };
    const auto eject = [&] { ::umount2(point.constData(), MNT_DETACH); };
    const auto ejected = qScopeGuard(eject);
    const QString list = userHome() + "/tasks";
    const QStringList task{"--task-file", list};

    ASSERT_NO_FATAL_FAILURE(insert("UUID-A", "card A"));
    OrdinaryUser::Run run = OrdinaryUser::run(QStringLiteral(ZORVI_ENGINE_DRIVER),
                                              QStringList{"backup", "--mode", "7z", "--dest", drive(), "--name", "Photos"}
                                                  + task + QStringList{card.path() + "/DCIM"},
                                              userHome());
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    eject();

    ASSERT_NO_FATAL_FAILURE(insert({}, "card C"));
    run = OrdinaryUser::run(QStringLiteral(ZORVI_ENGINE_DRIVER), QStringList{"restore"} + task, userHome());
    EXPECT_EQ(run.exitCode, 1) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("message=Nothing was restored. \"" + QFile::encodeName(card.path())
                                    + "/DCIM\" was not restored: it cannot be told that the drive in its place is the one it "
                                      "was backed up from."))
        << run.output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(card.path() + "/Zorvi.txt"));
    EXPECT_EQ(readFile(card.path() + "/DCIM/IMG_0001.JPG"), "card C");
}
