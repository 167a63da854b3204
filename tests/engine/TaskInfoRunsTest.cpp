// Backup and restore runs on real temporary trees with the real 7zz.
#include "ArchivePassword.h"
#include "FailPoint.h"
#include "FailPointHold.h"
#include "FileCopier.h"
#include "RemovableTemporaryDir.h"
#include "TaskInfo.h"
#include "TaskLock.h"
#include "TestFiles.h"
#include "WorkFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

TaskInfoPtr makeTask(const QString& name, const QStringList& sources, const QString& dest, qint64 mode,
                     const QString& password = "secret")
{
    return TaskInfo::initWithValues(name, "", sources, dest, {}, mode, password, "None", 0, 0, {}, {}, 0, 0,
                                    0, 0, 0, 0, {}, false);
}

// 7zz with the password on standard input; returns the exit code.
int sevenZip(const QStringList& args, const QString& password = {})
{
    QProcess p;
    p.start("7zz", args);
    p.waitForStarted();
    if (!password.isNull())
        p.write((password + "\n").toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

ino_t inodeOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

QString linkTarget(const QString& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return n < 0 ? QString("<not a link>") : QFile::decodeName(QByteArray(buffer, int(n)));
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

// One line per entry below `root` (itself included): path, type and mode, size, modification
// time and content, plus the inode and its link count when asked.
std::string treeOf(const QString& root, bool withInodes = false)
{
    QStringList lines;
    auto describe = [&](const QString& path) {
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        QString line = QString("%1 %2 %3 %4.%5").arg(path.mid(root.size())).arg(st.st_mode, 0, 8).arg(st.st_size)
                           .arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode))
            line += " " + QString::fromLatin1(readFile(path).toHex());
        if (withInodes)
            line += QString(" inode %1 links %2").arg(st.st_ino).arg(st.st_nlink);
        lines << line;
    };
    describe(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        describe(it.next());
    lines.sort();
    return lines.join('\n').toStdString();
}

class Runs : public ::testing::Test {
protected:
    RemovableTemporaryDir tmp; // ArchivesTakeRepeatedSourcesAndKeepModes makes a 0500 folder
    QString src() const { return tmp.path() + "/home/ann"; }
    QString dest() const { return tmp.path() + "/drive/Backups"; }
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        QDir().mkpath(dest());
        writeFile(src() + "/Docs/a.txt", "alpha");
        writeFile(src() + "/Docs/sub/b.txt", "beta");
        writeFile(src() + "/photo.jpg", QByteArray(5000, 'p'));
    }
    // A run's work folders are removed in the background after it reports: that removal and
    // the temporary folder's own would race, and leave part of the tree in /tmp.
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }
};

} // namespace

TEST(ArchivePasswordTest, KnownDigests)
{
    EXPECT_EQ(ArchivePassword::md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(ArchivePassword::archivePassword(""), "381BCDF5D7F0AE8B10D5AEF7B7884753");
    EXPECT_EQ(ArchivePassword::archivePassword("abc"), "CE272D1EE327FC6E08E283CC883782A3");
    const QString suffixed = ArchivePassword::suffixForm("abc");
    EXPECT_EQ(suffixed.size(), 15);
    EXPECT_TRUE(suffixed.startsWith("abc"));
    EXPECT_EQ(ArchivePassword::suffixForm("x").mid(1), suffixed.mid(3)) << "the suffix is a constant";
}

TEST_F(Runs, PlainCopyMirrorsSourcesAndReplacesThePreviousCopy)
{
    auto task = makeTask("Photos", { src() + "/Docs", src() + "/Docs/sub", src() + "/photo.jpg", src() + "/photo.jpg" }, dest(), 1);
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    const QString mirror = dest() + "/Photos" + src();
    EXPECT_EQ(readFile(mirror + "/Docs/a.txt"), "alpha");
    EXPECT_EQ(readFile(mirror + "/Docs/sub/b.txt"), "beta");
    EXPECT_EQ(QFileInfo(mirror + "/photo.jpg").size(), 5000);
    EXPECT_EQ(task->fixedSourcePaths.size(), 4);
    EXPECT_FALSE(task->lastBackupDate.isEmpty());

    // A second run replaces the copy whole: an item deleted at the source is gone from it.
    QFile::remove(src() + "/Docs/a.txt");
    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(mirror + "/Docs/a.txt"));
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(QDir(dest()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList { "Photos" })
        << "no staging folder is left behind";
}

TEST_F(Runs, ACrashBetweenTheSwapRenamesLosesNoBackup)
{
    auto task = makeTask("T", { src() + "/Docs" }, dest(), 1);
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    QThreadPool::globalInstance()->waitForDone();
    writeFile(src() + "/Docs/a.txt", "second");

    // The second run dies with the old copy moved aside and the new one not yet renamed in,
    // as it can on a volume without an atomic exchange.
    auto crashingBackup = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            WorkFolder::setExchangeDisabled(true);
            FailPoint::setHandler([](std::string_view point) {
                if (point == "work-folder-between-renames")
                    ::_exit(9);
            });
            QString m;
            task->performBackup(nullptr, m);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
        ASSERT_FALSE(QFileInfo::exists(dest() + "/T"));
    };
    crashingBackup();
    // A restore brings the complete new copy back first.
    writeFile(src() + "/Docs/a.txt", "third");
    ASSERT_TRUE(task->performRestore("", nullptr, message)) << message.toStdString();
    EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "second");

    // So does the next backup, even one cancelled before it copies anything.
    crashingBackup();
    task->BackupRestoreCancel = true;
    EXPECT_FALSE(task->performBackup(nullptr, message));
    EXPECT_EQ(message, "_userCanceled");
    EXPECT_EQ(readFile(dest() + "/T" + src() + "/Docs/a.txt"), "second");
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(QDir(dest()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { "T" });
}

TEST_F(Runs, LeftoversLateCancelsAndASecondRunOfTheSameTask)
{
    // A killed archive run left its temporary; a user's look-alikes are not ours to delete.
    auto task = makeTask("Z", { src() + "/Docs" }, dest(), 2);
    QString error;
    QDir().mkpath(dest() + "/Z");
    std::optional<WorkFolder> killed = WorkFolder::create(dest() + "/Z/backup.7z", &error);
    ASSERT_TRUE(killed) << error.toStdString();
    writeFile(killed->entry("archive.7z"), QByteArray(100000, 'j'));
    writeFile(dest() + "/Z/.zorvi-abc123/mine.txt", "mine");
    auto lookalike = makeTask(".Z.zorvi-staging-0123456789ab", { src() + "/photo.jpg" }, dest(), 1);
    QString message;
    ASSERT_TRUE(lookalike->performBackup(nullptr, message)) << message.toStdString();

    // A cancel that arrives once the new archive is in place does not undo the success.
    FailPoint::setHandler([&task](std::string_view point) {
        if (point == "archive-committed")
            task->BackupRestoreCancel = true;
    });
    const bool ok = task->performBackup(nullptr, message);
    FailPoint::setHandler({});
    EXPECT_TRUE(ok) << message.toStdString();
    EXPECT_TRUE(message.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(killed->path()));
    EXPECT_EQ(readFile(dest() + "/Z/.zorvi-abc123/mine.txt"), "mine");
    EXPECT_TRUE(QFileInfo(dest() + "/.Z.zorvi-staging-0123456789ab" + src() + "/photo.jpg").isFile());

    // While another process holds the task, both runs refuse at once and touch nothing.
    {
        std::optional<TaskLock> held = TaskLock::acquire(dest(), "Z", false, &error);
        ASSERT_TRUE(held) << error.toStdString();
        EXPECT_FALSE(task->performBackup(nullptr, message));
        EXPECT_TRUE(message.startsWith("Another backup or restore of this task is running")) << message.toStdString();
        EXPECT_FALSE(task->performRestore("", nullptr, message));
        EXPECT_TRUE(message.startsWith("Another backup or restore of this task is running"));
    }
    EXPECT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
}

TEST_F(Runs, LinksComeBackExactlyInEveryMode)
{
    const QString linked = src() + "/Linked";
    writeFile(linked + "/top/t.txt", "top");
    QDir().mkpath(linked + "/sub");
    const QString absolute = src() + "/photo.jpg";
    ASSERT_EQ(::symlink(QFile::encodeName(absolute).constData(), QFile::encodeName(linked + "/abs").constData()), 0);
    ASSERT_EQ(::symlink("../top", QFile::encodeName(linked + "/sub/up").constData()), 0);
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(linked + "/dangling").constData()), 0);
    // A source that is itself a link to a folder is backed up as the folder.
    const QString docsLink = src() + "/DocsLink";
    ASSERT_EQ(::symlink(QFile::encodeName(src() + "/Docs").constData(), QFile::encodeName(docsLink).constData()), 0);

    for (qint64 mode : { 1, 2, 3 }) {
        SCOPED_TRACE(mode);
        auto task = makeTask(QString("L%1").arg(mode), { linked, docsLink }, dest(), mode, "pw12");
        QString message;
        ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
        if (mode == 1) {
            EXPECT_EQ(readFile(dest() + "/L1" + docsLink + "/a.txt"), "alpha");
        }

        QThreadPool::globalInstance()->waitForDone();
        ASSERT_TRUE(QDir(linked).removeRecursively());
        writeFile(src() + "/Docs/a.txt", "changed");
        ASSERT_TRUE(task->performRestore("pw12", nullptr, message)) << message.toStdString();
        EXPECT_EQ(linkTarget(linked + "/abs"), absolute);
        EXPECT_EQ(linkTarget(linked + "/sub/up"), "../top");
        EXPECT_EQ(linkTarget(linked + "/dangling"), "nowhere");
        EXPECT_EQ(readFile(linked + "/sub/up/t.txt"), "top");
        EXPECT_EQ(linkTarget(docsLink), src() + "/Docs") << "the user's link stays a link";
        EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "alpha");
    }
}

// A restore's removal of its work folders belongs to its task. Held open here, the next run of
// the same task waits for it, and a run of another task whose source holds that folder, which
// does not wait, leaves the marked folder out of its backup.
TEST_F(Runs, ARestoresRemovalOfItsWorkFoldersBelongsToItsTask)
{
    for (qint64 mode : { 1, 2 }) {
        SCOPED_TRACE(mode);
        auto task = makeTask(QString("R%1").arg(mode), { src() + "/Docs/sub" }, dest(), mode);
        auto other = makeTask(QString("O%1").arg(mode), { src() + "/Docs" }, dest(), mode);
        QString message;
        ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
        QThreadPool::globalInstance()->waitForDone();

        FailPointHold removing("work-folders-removing");
        writeFile(src() + "/Docs/sub/b.txt", "changed");   // the replaced file waits in the work folder
        ASSERT_TRUE(task->performRestore("", nullptr, message)) << message.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return removing.held(); }, 10000));
        const QStringList work = QDir(src() + "/Docs/sub").entryList({ ".zorvi-*" }, QDir::Dirs | QDir::Hidden);
        ASSERT_EQ(work.size(), 1);

        EXPECT_TRUE(other->performBackup(nullptr, message)) << message.toStdString();
        if (mode == 1) {
            EXPECT_EQ(readFile(dest() + "/O1" + src() + "/Docs/sub/b.txt"), "beta");
            EXPECT_FALSE(QFileInfo::exists(dest() + "/O1" + src() + "/Docs/sub/" + work.first()));
        } else {
            QProcess list;
            list.start("7zz", { "l", "-slt", dest() + "/O2/backup.7z" });
            ASSERT_TRUE(list.waitForFinished(60000));
            const QByteArray listing = list.readAllStandardOutput();
            EXPECT_TRUE(listing.contains("/Docs/sub/b.txt"));
            EXPECT_FALSE(listing.contains(".zorvi-")) << listing.toStdString();
        }

        std::atomic<bool> finished { false };
        bool backedUp = false;
        QString nextMessage;
        std::thread next([&] {
            backedUp = task->performBackup(nullptr, nextMessage);
            finished = true;
        });
        QTest::qWait(300);
        EXPECT_FALSE(finished.load()) << "the next run of the task waits for the removal";
        removing.release();
        next.join();
        EXPECT_TRUE(backedUp) << nextMessage.toStdString();
        EXPECT_FALSE(QFileInfo::exists(src() + "/Docs/sub/" + work.first()));
        QThreadPool::globalInstance()->waitForDone();
    }
}

TEST_F(Runs, LongNamesBackUpAndRestore)
{
    const QString longItem = src() + "/Long/" + QString(255, 'f');
    writeFile(longItem, "long");
    const QString name = QString(250, 't');
    for (qint64 mode : { 1, 2 }) {
        SCOPED_TRACE(mode);
        auto task = makeTask(name.left(249) + QString::number(mode), { src() + "/Long" }, dest(), mode);
        QString message;
        ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
        ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
        writeFile(longItem, "changed");
        ASSERT_TRUE(task->performRestore("", nullptr, message)) << message.toStdString();
        EXPECT_EQ(readFile(longItem), "long");
    }
}

TEST_F(Runs, ArchivesTakeRepeatedSourcesAndKeepModes)
{
    writeFile(src() + "/Modes/tool", "#!/bin/sh\n");
    ASSERT_EQ(::chmod(QFile::encodeName(src() + "/Modes/tool").constData(), 04755), 0);
    writeFile(src() + "/Modes/locked/inside.txt", "inside");
    ASSERT_EQ(::chmod(QFile::encodeName(src() + "/Modes/locked").constData(), 0500), 0);
    for (qint64 mode : { 2, 3 }) {
        SCOPED_TRACE(mode);
        auto task = makeTask(QString("D%1").arg(mode), { src() + "/Modes", src() + "/Modes", src() + "/Modes/locked", src() + "/Docs" },
                             dest(), mode, "pw12");
        QString message;
        ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
        ::chmod(QFile::encodeName(src() + "/Modes/tool").constData(), 0644);
        ::chmod(QFile::encodeName(src() + "/Modes/locked").constData(), 0755);
        ASSERT_TRUE(task->performRestore("pw12", nullptr, message)) << message.toStdString();
        EXPECT_EQ(modeOf(src() + "/Modes/tool"), mode_t(04755));
        EXPECT_EQ(modeOf(src() + "/Modes/locked"), mode_t(0500));
        EXPECT_EQ(readFile(src() + "/Modes/locked/inside.txt"), "inside");
    }
    ::chmod(QFile::encodeName(src() + "/Modes/locked").constData(), 0755);
}

TEST_F(Runs, ArchiveItemsOutsideTheTasksSourcesAreNamedAndNeverWritten)
{
    // A 7z task made again without one of its sources (the editor takes none away) restores
    // the ones it has from the backup still on the drive, and names the one it left.
    auto before = makeTask("Y", { src() + "/Docs", src() + "/photo.jpg" }, dest(), 2);
    QString message;
    ASSERT_TRUE(before->performBackup(nullptr, message)) << message.toStdString();
    writeFile(src() + "/Docs/a.txt", "changed");
    writeFile(src() + "/photo.jpg", "mine now");
    auto after = makeTask("Y", { src() + "/Docs" }, dest(), 2);
    EXPECT_FALSE(after->performRestore("", nullptr, message));
    EXPECT_EQ(message, "Not everything was restored; everything else is back in place.\n\"" + src()
                  + "/photo.jpg\" is in the backup but not one of this task's sources: it was not restored.");
    EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "alpha");
    EXPECT_EQ(readFile(src() + "/photo.jpg"), "mine now");
    // The restore's work folder in Docs goes in the background; 7zz below would meet it going.
    QThreadPool::globalInstance()->waitForDone();

    // Someone with the drive in hand writes an archive that would overwrite a file elsewhere.
    const QString victim = tmp.path() + "/victim/.bashrc";
    writeFile(victim, "evil");
    auto task = makeTask("Z", { src() + "/Docs" }, dest(), 2);
    QDir().mkpath(dest() + "/Z");
    ASSERT_EQ(sevenZip({ "a", "-spf", dest() + "/Z/backup.7z", src() + "/Docs", victim }), 0);
    writeFile(victim, "mine");
    writeFile(src() + "/Docs/a.txt", "changed");
    EXPECT_FALSE(task->performRestore("", nullptr, message));
    EXPECT_TRUE(message.contains("victim/.bashrc")) << message.toStdString();
    EXPECT_EQ(readFile(victim), "mine");
    EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "alpha") << "the task's own source comes back";

    // The same with a relative name, which would land under "/".
    QFile::remove(dest() + "/Z/backup.7z");
    QProcess p;
    p.setWorkingDirectory(tmp.path());
    p.start("7zz", { "a", dest() + "/Z/backup.7z", "victim/.bashrc" });
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_FALSE(task->performRestore("", nullptr, message));
    EXPECT_TRUE(message.contains("victim/.bashrc")) << message.toStdString();
    EXPECT_EQ(readFile(victim), "mine");
}

TEST_F(Runs, RefusesNamesAndOverlapsBeforeTouchingAnything)
{
    QString message;
    for (const QString& name : { QString(), QString("."), QString(".."), QString("a/b"), QString("a\nb") }) {
        auto task = makeTask(name, { src() + "/Docs" }, dest(), 1);
        EXPECT_FALSE(task->performBackup(nullptr, message));
        EXPECT_FALSE(message.isEmpty());
    }
    // A source inside the task folder, and a destination inside a source.
    auto inside = makeTask("T", { dest() + "/T/x" }, dest(), 1);
    writeFile(dest() + "/T/x/keep.txt", "keep");
    EXPECT_FALSE(inside->performBackup(nullptr, message));
    EXPECT_EQ(readFile(dest() + "/T/x/keep.txt"), "keep");
    auto around = makeTask("T", { tmp.path() + "/drive" }, dest(), 1);
    EXPECT_FALSE(around->performBackup(nullptr, message));
    EXPECT_EQ(readFile(dest() + "/T/x/keep.txt"), "keep");
    // Mode outside 1..3 writes nothing and says why.
    auto odd = makeTask("Odd", { src() + "/Docs" }, dest(), 7);
    EXPECT_FALSE(odd->performBackup(nullptr, message));
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dest() + "/Odd"));
}

TEST_F(Runs, MissingPlacesAreReportedWithTheirPrefix)
{
    QString message;
    auto task = makeTask("T", { src() + "/nothing" }, dest(), 1);
    EXPECT_FALSE(task->performBackup(nullptr, message));
    EXPECT_EQ(message, "SourcePath Not Found!");
    auto noDest = makeTask("T", { src() + "/Docs" }, dest() + "/gone", 1);
    EXPECT_FALSE(noDest->performBackup(nullptr, message));
    EXPECT_EQ(message, "DestinationPath Not Found!");
}

TEST_F(Runs, CancelDuringTheSecondSourceKeepsTheOldBackup)
{
    for (int i = 0; i < 3000; ++i)
        writeFile(src() + QString("/many/f%1.txt").arg(i), QByteArray(2048, 'x'));
    auto task = makeTask("T", { src() + "/Docs", src() + "/many", src() + "/photo.jpg" }, dest(), 1);
    QString message;
    ASSERT_TRUE(makeTask("T", { src() + "/Docs" }, dest(), 1)->performBackup(nullptr, message));
    const QString oldCopy = dest() + "/T" + src() + "/Docs/a.txt";
    ASSERT_EQ(readFile(oldCopy), "alpha");
    task->fixedSourcePaths = { src() + "/Docs" };

    std::atomic<bool> stop { false };
    std::thread canceller([&] {
        while (!stop) {
            const QStringList entries = QDir(dest()).entryList(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot);
            for (const QString& e : entries) {
                if (e.startsWith(".zorvi-") && QFileInfo::exists(dest() + "/" + e + "/new" + src() + "/many/f10.txt")) {
                    task->BackupRestoreCancel = true;
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const bool ok = task->performBackup(nullptr, message);
    stop = true;
    canceller.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(message, "_userCanceled");
    EXPECT_FALSE(task->BackupRestoreCancel);
    EXPECT_EQ(readFile(oldCopy), "alpha") << "the previous backup stays as it was";
    EXPECT_FALSE(QFileInfo::exists(dest() + "/T" + src() + "/many"));
    EXPECT_EQ(task->fixedSourcePaths, QStringList { src() + "/Docs" });
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(QDir(dest()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList { "T" });
}

TEST_F(Runs, UnreadableFileFailsTheRunAndKeepsTheOldBackup)
{
    auto task = makeTask("T", { src() + "/Docs" }, dest(), 1);
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message));
    writeFile(src() + "/Docs/locked.txt", "secret");
    ::chmod(QFile::encodeName(src() + "/Docs/locked.txt").constData(), 0);

    auto run = [&]() -> int {
        QString m;
        const bool result = task->performBackup(nullptr, m);
        return (!result && m.contains("locked.txt")) ? 0 : 1;
    };
    int outcome;
    if (::geteuid() == 0) {
        // Root reads everything: run the backup as an unprivileged user in a child.
        ::chmod(QFile::encodeName(tmp.path()).constData(), 0777);
        QProcess::execute("chmod", { "-R", "a+rwX", tmp.path() });
        ::chmod(QFile::encodeName(src() + "/Docs/locked.txt").constData(), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            ::_exit(run());
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        outcome = WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    } else {
        outcome = run();
    }
    EXPECT_EQ(outcome, 0) << "the run must fail and name the unreadable file";
    EXPECT_EQ(readFile(dest() + "/T" + src() + "/Docs/a.txt"), "alpha");
}

TEST_F(Runs, PlainRestoreReplacesItemsAndRefusesBeforeDeleting)
{
    auto task = makeTask("T", { src() + "/Docs", src() + "/photo.jpg" }, dest(), 1);
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message));
    writeFile(src() + "/Docs/a.txt", "changed");
    writeFile(src() + "/Docs/new.txt", "new");
    QFile::remove(src() + "/photo.jpg");
    ASSERT_TRUE(task->performRestore("", nullptr, message)) << message.toStdString();
    EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "alpha");
    EXPECT_EQ(readFile(src() + "/Docs/new.txt"), "new") << "a file made since the backup is kept";
    EXPECT_EQ(QFileInfo(src() + "/photo.jpg").size(), 5000);
    EXPECT_EQ(readFile(dest() + "/T" + src() + "/Docs/a.txt"), "alpha") << "the backup is copied, never moved";

    // A source the backup does not hold (added since): the others come back, it is named.
    writeFile(src() + "/Docs/a.txt", "mine");
    writeFile(src() + "/photo.jpg", "mine");
    task->fixedSourcePaths = { src() + "/Docs" };
    EXPECT_FALSE(task->performRestore("", nullptr, message));
    EXPECT_TRUE(message.contains("\"" + src() + "/photo.jpg\" is not in the last backup")) << message.toStdString();
    EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "alpha");
    EXPECT_EQ(readFile(src() + "/photo.jpg"), "mine");

    // Another source at the index of a backed-up one is never restored from it.
    task->backupSrc = { src() + "/photo.jpg" };
    EXPECT_FALSE(task->performRestore("", nullptr, message));
    EXPECT_FALSE(task->hasCompleteBackup());
    EXPECT_EQ(readFile(src() + "/photo.jpg"), "mine");
}

TEST_F(Runs, EncryptedBackupOpensOnlyWithTheDerivedPassword)
{
    auto task = makeTask("Enc", { src() + "/Docs" }, dest(), 3, "abc");
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    const QString folder = dest() + "/Enc";
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList { "backup.enc" });
    EXPECT_EQ(sevenZip({ "t", folder + "/backup.enc" }, ArchivePassword::archivePassword("abc")), 0);
    EXPECT_NE(sevenZip({ "t", folder + "/backup.enc" }, "abc"), 0);
    EXPECT_NE(sevenZip({ "t", folder + "/backup.enc" }, ArchivePassword::suffixForm("abc")), 0);

    // Restore with the right password, then with a wrong one.
    writeFile(src() + "/Docs/a.txt", "changed");
    ASSERT_TRUE(task->performRestore("abc", nullptr, message)) << message.toStdString();
    EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "alpha");
    EXPECT_FALSE(task->performRestore("wrong", nullptr, message));
    EXPECT_EQ(message, "Can't open archive.");
}

TEST_F(Runs, SuffixFormArchiveOpensOnTheSecondTry)
{
    const QString folder = dest() + "/Old";
    QDir().mkpath(folder);
    ASSERT_EQ(sevenZip({ "a", "-spf", "-mhe=on", "-p", folder + "/backup.enc", src() + "/Docs" },
                       ArchivePassword::suffixForm("pw12")), 0);
    auto task = makeTask("Old", { src() + "/Docs" }, dest(), 3, "pw12");
    writeFile(src() + "/Docs/a.txt", "changed");
    QString message;
    ASSERT_TRUE(task->performRestore("pw12", nullptr, message)) << message.toStdString();
    EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "alpha");
}

TEST_F(Runs, PlaceholderOfAnEmptyFolderComesAndGoesWithTheRun)
{
    QDir().mkpath(src() + "/Empty");
    auto task = makeTask("E", { src() + "/Empty" }, dest(), 3, "pw12");
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(src() + "/Empty/MXTemp.tmp")) << "the user's folder is left as it was";
    QDir(src() + "/Empty").removeRecursively();
    ASSERT_TRUE(task->performRestore("pw12", nullptr, message)) << message.toStdString();
    EXPECT_TRUE(QFileInfo(src() + "/Empty").isDir());
    EXPECT_FALSE(QFileInfo::exists(src() + "/Empty/MXTemp.tmp"));

    // A user's own file of that name survives a restore.
    writeFile(src() + "/Empty/MXTemp.tmp", "mine");
    ASSERT_TRUE(task->performRestore("pw12", nullptr, message));
    EXPECT_EQ(readFile(src() + "/Empty/MXTemp.tmp"), "mine");
}

TEST_F(Runs, ArchiveRestoreMergesAndRefusesUnsafeArchives)
{
    auto task = makeTask("Z", { src() + "/Docs" }, dest(), 2);
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dest() + "/Z/backup.7z"));
    writeFile(src() + "/Docs/a.txt", "changed");
    writeFile(src() + "/Docs/extra.txt", "extra");
    ASSERT_TRUE(task->performRestore("", nullptr, message)) << message.toStdString();
    EXPECT_EQ(readFile(src() + "/Docs/a.txt"), "alpha");
    EXPECT_EQ(readFile(src() + "/Docs/extra.txt"), "extra") << "files the archive does not hold are kept";

    // An archive whose names climb out with "..".
    const QString evil = tmp.path() + "/evil";
    writeFile(evil + "/x/payload.txt", "payload");
    QDir().mkpath(evil + "/x/y");
    QFile::remove(dest() + "/Z/backup.7z");
    {
        QProcess p;
        p.setWorkingDirectory(evil + "/x/y");
        p.start("7zz", { "a", "-spf", dest() + "/Z/backup.7z", "../payload.txt" });
        p.closeWriteChannel();
        p.waitForFinished(60000);
    }
    EXPECT_FALSE(task->performRestore("", nullptr, message));
    EXPECT_FALSE(message.isEmpty());
}

TEST_F(Runs, SymlinkLoopAndFifoInASourceNeitherHangNorCrash)
{
    QDir().mkpath(src() + "/Odd");
    ::symlink("loop", QFile::encodeName(src() + "/Odd/loop").constData());
    ::symlink("..", QFile::encodeName(src() + "/Odd/up").constData());
    ASSERT_EQ(::mkfifo(QFile::encodeName(src() + "/Odd/pipe").constData(), 0600), 0);
    writeFile(src() + "/Odd/plain.txt", "plain");
    for (qint64 mode : { 1, 2 }) {
        auto task = makeTask(QString("M%1").arg(mode), { src() + "/Odd" }, dest(), mode);
        QString message;
        task->performBackup(nullptr, message);
    }
    EXPECT_EQ(readFile(dest() + "/M1" + src() + "/Odd/plain.txt"), "plain");
    EXPECT_TRUE(QFileInfo(dest() + "/M1" + src() + "/Odd/loop").isSymLink());
}

TEST_F(Runs, RepeatBackupsLinkWhatIsUnchangedAndEqualAFreshCopy)
{
    for (const char* name : { "keep.txt", "old-name.txt", "gone.txt", "mode.sh" })
        writeFile(src() + "/Docs/" + name, QByteArray("text of ") + name);
    for (int i = 0; i < 2000; ++i)
        writeFile(src() + QString("/Docs/many/f%1.txt").arg(i), QByteArray(100, 'm'));
    // Changes in the clock tick a backup began in count as changes: leave that tick.
    QTest::qSleep(20);
    auto task = makeTask("R", { src() + "/Docs", src() + "/photo.jpg" }, dest(), 1);
    QString message;
    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    QThreadPool::globalInstance()->waitForDone();
    const QString backup = dest() + "/R" + src();
    const ino_t keptInode = inodeOf(backup + "/Docs/keep.txt");

    // A cancelled repeat leaves the previous backup as it was, down to its inodes.
    const std::string before = treeOf(dest() + "/R", true);
    std::atomic<bool> stop { false };
    std::thread canceller([&] {
        while (!stop) {
            for (const QString& e : QDir(dest()).entryList({ ".zorvi-*" }, QDir::AllDirs | QDir::Hidden)) {
                const QString many = dest() + "/" + e + "/new" + src() + "/Docs/many";
                const QStringList staged = QDir(many).entryList(QDir::Files);
                if (!staged.isEmpty()) {
                    // Looked at before the cancel: the cancelled run removes its work folder.
                    const ino_t stagedInode = inodeOf(many + "/" + staged.first());
                    task->BackupRestoreCancel = true;
                    EXPECT_EQ(stagedInode, inodeOf(backup + "/Docs/many/" + staged.first()))
                        << "unchanged files are linked, not copied";
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    const bool cancelledRun = task->performBackup(nullptr, message);
    stop = true;
    canceller.join();
    EXPECT_FALSE(cancelledRun);
    EXPECT_EQ(message, "_userCanceled");
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(treeOf(dest() + "/R", true), before);

    writeFile(src() + "/Docs/a.txt", "alpha, longer");
    ::chmod(QFile::encodeName(src() + "/Docs/mode.sh").constData(), 0755);
    const struct timespec times[2] = { { 1600000000, 0 }, { 1600000000, 500 } };
    ::utimensat(AT_FDCWD, QFile::encodeName(src() + "/photo.jpg").constData(), times, 0);
    QFile::rename(src() + "/Docs/old-name.txt", src() + "/Docs/new-name.txt");
    QFile::remove(src() + "/Docs/gone.txt");
    writeFile(src() + "/Docs/sub/added.txt", "added");

    ASSERT_TRUE(task->performBackup(nullptr, message)) << message.toStdString();
    EXPECT_EQ(inodeOf(backup + "/Docs/keep.txt"), keptInode);
    auto fresh = makeTask("F", { src() + "/Docs", src() + "/photo.jpg" }, dest(), 1);
    ASSERT_TRUE(fresh->performBackup(nullptr, message)) << message.toStdString();
    QThreadPool::globalInstance()->waitForDone();
    // What lies above the sources' copies was made by each run.
    const std::string repeated = treeOf(backup + "/Docs") + treeOf(backup + "/photo.jpg");
    EXPECT_EQ(repeated, treeOf(dest() + "/F" + src() + "/Docs") + treeOf(dest() + "/F" + src() + "/photo.jpg"));
    EXPECT_EQ(repeated.find("gone.txt"), std::string::npos);
    EXPECT_NE(repeated.find("/mode.sh 100755"), std::string::npos);

    // Where the destination refuses hard links, the repeat copies everything instead.
    writeFile(src() + "/Docs/a.txt", "alpha, again");
    FileCopier::setHardLinksRefused(EPERM);
    const bool copied = task->performBackup(nullptr, message);
    FileCopier::setHardLinksRefused(0);
    ASSERT_TRUE(copied) << message.toStdString();
    ASSERT_TRUE(fresh->performBackup(nullptr, message)) << message.toStdString();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_NE(inodeOf(backup + "/Docs/keep.txt"), keptInode);
    EXPECT_EQ(treeOf(backup + "/Docs"), treeOf(dest() + "/F" + src() + "/Docs"));
}
