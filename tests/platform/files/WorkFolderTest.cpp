#include "FailPoint.h"
#include "OrdinaryUser.h"
#include "TestFiles.h"
#include "WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <ctime>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Commits a new copy of `item` holding `text`, in a child that dies at `point`.
void commitAndDieAt(const QString& item, const QByteArray& text, const char* point)
{
    const pid_t child = ::fork();
    if (child == 0) {
        FailPoint::setHandler([point](std::string_view hit) {
            if (hit == point)
                ::_exit(9);
        });
        WorkFolder::setExchangeDisabled(true);
        QString error;
        std::optional<WorkFolder> work = WorkFolder::create(item, &error);
        if (!work || !QDir().mkpath(work->newItem()))
            ::_exit(2);
        QFile f(work->newItem() + "/file.txt");
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            ::_exit(2);
        f.close();
        work->commit(&error);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 9) << "the child must die at " << point;
}

} // namespace

TEST(WorkFolderTest, CommitReplacesTheItemAndLeavesTheOldOneInside)
{
    QTemporaryDir tmp;
    const QString item = tmp.path() + "/" + QString(250, 'n'); // no room for a derived name
    writeFile(item + "/file.txt", "old");
    for (bool exchange : { true, false }) {
        WorkFolder::setExchangeDisabled(!exchange);
        QString error;
        std::optional<WorkFolder> work = WorkFolder::create(item, &error);
        ASSERT_TRUE(work) << error.toStdString();
        writeFile(work->newItem() + "/file.txt", exchange ? "new1" : "new2");
        ASSERT_TRUE(work->commit(&error)) << error.toStdString();
        EXPECT_EQ(readFile(item + "/file.txt"), exchange ? "new1" : "new2");
        EXPECT_EQ(WorkFolder::recoverAndClean(item), QString());
        EXPECT_EQ(entries(tmp.path()).size(), 1) << "the replaced copy went with its work folder";
    }
    WorkFolder::setExchangeDisabled(false);
}

TEST(WorkFolderTest, ACrashBetweenTheRenamesIsMendedByTheNextRun)
{
    QTemporaryDir tmp;
    const QString item = tmp.path() + "/Photos";
    writeFile(item + "/file.txt", "old");

    // Died with the old copy moved aside and the complete new one not yet in place.
    commitAndDieAt(item, "new", "work-folder-between-renames");
    EXPECT_FALSE(QFileInfo::exists(item));
    EXPECT_FALSE(WorkFolder::recoverAndClean(item).isEmpty()) << "the mend is logged";
    EXPECT_EQ(readFile(item + "/file.txt"), "new");
    EXPECT_EQ(entries(tmp.path()), QStringList { "Photos" });

    // Died with the new copy complete but before the item was touched: the item stays as it is.
    commitAndDieAt(item, "newer", "work-folder-complete");
    EXPECT_EQ(WorkFolder::findFor(item).size(), 1);
    WorkFolder::recoverAndClean(item);
    EXPECT_EQ(readFile(item + "/file.txt"), "new");
    EXPECT_EQ(entries(tmp.path()), QStringList { "Photos" });

    // Only the old copy is whole: it comes back.
    QString error;
    std::optional<WorkFolder> work = WorkFolder::create(item, &error);
    ASSERT_TRUE(work);
    writeFile(work->newItem() + "/half.txt", "half");
    ASSERT_TRUE(QDir().rename(item, work->oldItem()));
    WorkFolder::recoverAndClean(item);
    EXPECT_EQ(readFile(item + "/file.txt"), "new");
    EXPECT_FALSE(QFileInfo::exists(item + "/half.txt"));
}

TEST(WorkFolderTest, OnlyFoldersWithOurMarkerForThatItemAreTouched)
{
    QTemporaryDir tmp;
    const QString item = tmp.path() + "/T";
    writeFile(tmp.path() + "/.zorvi-abc123/keep.txt", "user's");          // our name, not our marker
    writeFile(tmp.path() + "/.T.zorvi-staging-0123456789ab/keep.txt", "user's");
    QString error;
    std::optional<WorkFolder> other = WorkFolder::create(tmp.path() + "/Other", &error);
    ASSERT_TRUE(other);
    std::optional<WorkFolder> mine = WorkFolder::create(item, &error);
    ASSERT_TRUE(mine);
    EXPECT_EQ(WorkFolder::findFor(item).size(), 1);
    WorkFolder::recoverAndClean(item);
    EXPECT_FALSE(QFileInfo::exists(mine->path()));
    EXPECT_TRUE(QFileInfo::exists(other->path())) << "another item's work folder stays";
    EXPECT_EQ(readFile(tmp.path() + "/.zorvi-abc123/keep.txt"), "user's");
    EXPECT_EQ(readFile(tmp.path() + "/.T.zorvi-staging-0123456789ab/keep.txt"), "user's");
}

TEST(WorkFolderTest, WhatACrashLeftBeforeTheMarkerWasOnDiskGoesTooButNothingElse)
{
    QTemporaryDir tmp;
    const QString item = tmp.path() + "/Docs";
    QDir().mkpath(item);
    QDir().mkpath(tmp.path() + "/.zorvi-Empty1");                               // made, then the crash
    writeFile(tmp.path() + "/.zorvi-Short1/zorvi-work", "Zorvi work");          // marker cut short
    writeFile(item + "/.zorvi-Short2/zorvi-work", "Zorvi work folder\n.");
    writeFile(tmp.path() + "/.zorvi-Other1/zorvi-work", "Zorvi work folder\nOther\n");  // another item's, just made
    writeFile(item + "/.zorvi-Mine12/keep.txt", "user's");
    // A crash's leftovers are an hour old by the next run; another run's folder, made this
    // moment and not yet marked, stays.
    for (const QString& left : {tmp.path() + "/.zorvi-Empty1", tmp.path() + "/.zorvi-Short1", item + "/.zorvi-Short2"}) {
        const struct timespec hourAgo[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(left).constData(), hourAgo, 0), 0);
    }
    QDir().mkpath(tmp.path() + "/.zorvi-Fresh1");
    QString error;
    std::optional<WorkFolder> inside = WorkFolder::createInside(item, &error);
    ASSERT_TRUE(inside) << error.toStdString();
    writeFile(inside->entry("new/partial.txt"), "half");
    ASSERT_EQ(WorkFolder::findFor(item).size(), 1);

    WorkFolder::recoverAndClean(item);
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{".zorvi-Fresh1", ".zorvi-Other1", "Docs"}));
    EXPECT_EQ(QDir(item).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{".zorvi-Mine12"});
}

TEST(WorkFolderTest, ARemovalCutShortLeavesAFolderTheNextRunStillCleans)
{
    if (!OrdinaryUser::testsRunAsRoot())
        GTEST_SKIP() << "needs an entry the user cannot remove, which only root can make";
    QTemporaryDir tmp;
    ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
    const QString item = tmp.path() + "/area/Photos";
    writeFile(item + "/photo.jpg", "new");
    QString error;
    std::optional<WorkFolder> work = WorkFolder::create(item, &error);
    ASSERT_TRUE(work) << error.toStdString();
    // The replaced copy, with one file in a folder of another owner, as a removal stopped
    // half way leaves it.
    for (const char* name : {"new/a.jpg", "new/b.jpg", "new/c/d.jpg", "new/other/e.jpg"})
        writeFile(work->entry(name), "old");
    OrdinaryUser::own(tmp.path() + "/area");
    ASSERT_EQ(::chown(QFile::encodeName(work->entry("new/other")).constData(), 0, 0), 0);

    const WorkFolder folder = *work;
    EXPECT_EQ(OrdinaryUser::runInChild([folder] { return folder.remove() ? 0 : 1; }), 1);
    EXPECT_EQ(WorkFolder::findFor(item).size(), 1) << "what is left is still known as ours";
    WorkFolder::recoverAndClean(item);
    EXPECT_FALSE(QFileInfo::exists(work->path()));
    EXPECT_EQ(readFile(item + "/photo.jpg"), "new");
}
