#include "EngineTestSupport.h"
#include "NoDrivesAttached.h"

#include "DispatchTimer.h"

#include "ExternalVolumes.h"
#include "TaskController.h"
#include "TaskListCipher.h"
#include "UtilityFunctions.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QStringList g_log;
void captureLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_log << text;
}

class TaskListFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(TaskController::taskListFolder()).removeRecursively();
        g_log.clear();
        previous_ = qInstallMessageHandler(captureLog);
    }
    void TearDown() override
    {
        qInstallMessageHandler(previous_);
        ExternalVolumes::setOverride(std::nullopt, std::nullopt);
    }

    static TaskInfoPtr task(const QString& name)
    {
        return TaskInfo::initWithValues(name, "", { "/home/ann/" + name }, "/media/ann/Backup;U", { "0" }, 1, "pw",
                                        "None", 0, 0, {}, {}, 0, 0, 10, 1, 0, 0, {}, false);
    }
    static void writeRaw(const QByteArray& bytes)
    {
        QDir().mkpath(TaskController::taskListFolder());
        QFile f(TaskController::taskListPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static void writeEnciphered(const QByteArray& plain, const QByteArray& key = TaskListCipher::defaultKey())
    {
        QByteArray cipher;
        QString error;
        ASSERT_TRUE(TaskListCipher::encrypt(plain, key, TaskListCipher::defaultIv(), cipher, error));
        writeRaw(cipher);
    }
    static QStringList setAsideFiles()
    {
        return QDir(TaskController::taskListFolder()).entryList({ "metadata.meta.bad-*" }, QDir::Files);
    }
    static bool logged(const QString& prefix)
    {
        for (const QString& line : g_log)
            if (line.startsWith(prefix))
                return true;
        return false;
    }

    QtMessageHandler previous_ = nullptr;
    const NoDrivesAttached noDrives_;   // tests that mount drives set their own
};

} // namespace

TEST_F(TaskListFile, MissingFileGivesEmptyListAndCreatesTheFolder)
{
    TaskController c;
    EXPECT_TRUE(c.loadTaskList().isEmpty());
    EXPECT_TRUE(QFileInfo(TaskController::taskListFolder()).isDir());
    EXPECT_TRUE(g_log.isEmpty());
}

TEST_F(TaskListFile, EmptyListIsOneBlockWithOwnerOnlyMode)
{
    TaskController c;
    ASSERT_TRUE(c.saveTaskList()); // creates the missing folder
    const QString path = TaskController::taskListPath();
    EXPECT_EQ(QFileInfo(path).size(), 16);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(c.loadTaskList().isEmpty());
    EXPECT_TRUE(setAsideFiles().isEmpty());
    // Only the file itself is left: no temporary behind.
    EXPECT_EQ(QDir(TaskController::taskListFolder()).entryList(QDir::Files | QDir::Hidden), QStringList { "metadata.meta" });
}

TEST_F(TaskListFile, SaveAndLoadKeepOrderFieldsAndDelegate)
{
    RecordingTaskDelegate delegate;
    TaskController c(&delegate);
    c.TaskArray = { task("b"), task("a"), task("c") };
    c.TaskArray[1]->totalSize = 6'000'000'000LL;
    c.TaskArray[1]->weekday = { 1, 7 };
    ASSERT_TRUE(c.saveTaskList());

    // The file is pretty-printed JSON under the fixed key.
    QFile f(TaskController::taskListPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray plain;
    QString error;
    ASSERT_TRUE(TaskListCipher::decrypt(f.readAll(), c.key, c.iv, plain, error));
    EXPECT_TRUE(plain.contains("\n    {")) << plain.constData();

    TaskController d(&delegate);
    const auto loaded = d.loadTaskList();
    ASSERT_EQ(loaded.size(), 3);
    EXPECT_EQ(loaded[0]->taskName, "b");
    EXPECT_EQ(loaded[1]->taskName, "a");
    EXPECT_EQ(loaded[2]->taskName, "c");
    EXPECT_EQ(loaded[1]->totalSize, 6'000'000'000LL);
    EXPECT_EQ(loaded[1]->weekday, (QList<qint64> { 1, 7 }));
    EXPECT_EQ(loaded[0]->password, "pw");
    for (const auto& t : loaded)
        EXPECT_EQ(t->taskInfoDelegate, &delegate);
}

TEST_F(TaskListFile, LoadedTaskInsideItsMinuteIsHandedOverOnce)
{
    ScopedFakeClock clock(localTime(2026, 12, 2, 7, 15, 10));
    {
        TaskController writer;
        auto t = TaskInfo::initWithValues("Due", "", { "/s" }, "/d", { "0" }, 1, "", "Daily", 7, 15, {}, {}, 0, 0, 0,
                                          0, 0, 0, {}, true);
        writer.TaskArray = { t };
        ASSERT_TRUE(writer.saveTaskList());
    }
    RecordingTaskDelegate delegate;
    TaskController c(&delegate);
    c.TaskArray = c.loadTaskList();
    ASSERT_EQ(c.TaskArray.size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate.started.empty(); }, 5000));
    EXPECT_EQ(delegate.started[0], c.TaskArray[0].get());
    c.TaskArray[0]->checkSchedule(); // the same minute again
    drainMainQueue();
    EXPECT_EQ(delegate.started.size(), 1u);
}

TEST_F(TaskListFile, OtherKeyIsReportedAndSetAside)
{
    writeEnciphered("[]", QByteArray(16, 'k'));
    QFile f(TaskController::taskListPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray original = f.readAll();
    f.close();

    TaskController c;
    EXPECT_TRUE(c.loadTaskList().isEmpty());
    EXPECT_TRUE(logged("Error deserializing JSON: ")) << g_log.join('\n').toStdString();
    const QStringList aside = setAsideFiles();
    ASSERT_EQ(aside.size(), 1);
    QFile kept(TaskController::taskListFolder() + "/" + aside[0]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), original);
}

TEST_F(TaskListFile, CorruptFileSurvivesTheNextSave)
{
    const QByteArray garbage("this is not a task list, 37 bytes ..");
    writeRaw(garbage);
    TaskController c;
    EXPECT_TRUE(c.loadTaskList().isEmpty());
    EXPECT_TRUE(logged("Error deserializing JSON: "));

    c.TaskArray = { task("new") };
    ASSERT_TRUE(c.saveTaskList());
    ASSERT_EQ(c.loadTaskList().size(), 1);
    const QStringList aside = setAsideFiles();
    ASSERT_EQ(aside.size(), 1);
    QFile kept(TaskController::taskListFolder() + "/" + aside[0]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), garbage);
}

TEST_F(TaskListFile, JsonThatIsNoListOfTasksLoadsNothingQuietly)
{
    for (const QByteArray& plain : { QByteArray(R"({"taskName": "x"})"), QByteArray("[1]"),
                                     QByteArray(R"([{"taskName": "x"}, "y"])") }) {
        SCOPED_TRACE(plain.constData());
        QDir(TaskController::taskListFolder()).removeRecursively();
        g_log.clear();
        writeEnciphered(plain);
        TaskController c;
        EXPECT_TRUE(c.loadTaskList().isEmpty());
        EXPECT_FALSE(logged("Error deserializing JSON: "));
        EXPECT_EQ(setAsideFiles().size(), 1); // kept, not overwritten by the next save
    }
}

TEST_F(TaskListFile, UnreadableFileIsNeverOverwritten)
{
    // Something that cannot be read as a file, whoever runs the test: a folder in its place.
    QDir().mkpath(TaskController::taskListPath() + "/inside");
    TaskController c;
    EXPECT_TRUE(c.loadTaskList().isEmpty());
    EXPECT_TRUE(logged("Error deserializing JSON: "));
    c.TaskArray = { task("x") };
    EXPECT_FALSE(c.saveTaskList());
    EXPECT_TRUE(QFileInfo(TaskController::taskListPath() + "/inside").isDir());
}

// ------------------------------------------------------------------ volume re-mapping

namespace {

class Remap : public TaskListFile {
protected:
    void SetUp() override
    {
        TaskListFile::SetUp();
        media_ = tmp_.path() + "/media/ann";
        ExternalVolumes::setOverride(QStringList { media_, tmp_.path() + "/media" }, QStringList {});
    }
    QString volume(const QString& name, const QByteArray& identity)
    {
        const QString root = media_ + "/" + name;
        QDir().mkpath(root);
        QFile f(root + "/Zorvi.txt");
        f.open(QIODevice::WriteOnly);
        f.write(identity);
        return root;
    }
    void mount(const QStringList& roots) { ExternalVolumes::setOverride(QStringList { media_, tmp_.path() + "/media" }, roots); }

    QTemporaryDir tmp_;
    QString media_;
};

} // namespace

TEST_F(Remap, DriveUnderANewNameMovesSourcesAndDestination)
{
    const QString root = volume("Backup 1", "UUID-A");
    volume("Backup", "UUID-OLD"); // another drive that now uses the old name
    mount({ media_ + "/Backup", root });

    RecordingTaskDelegate delegate;
    TaskController c(&delegate);
    int refreshed = 0;
    c.refreshTaskListsKeepSelection = [&] { ++refreshed; };
    auto t = task("T");
    t->backupSrc = { media_ + "/Backup/Docs;UUID-A", "/home/ann/Notes", media_ + "/Backup/Other;UUID-B",
                     media_ + "/Backup 1/Here;UUID-A" };
    t->backupDest = media_ + "/Backup//Dest/;UUID-A";
    c.TaskArray = { t };

    c.updateTaskVolumePaths(true);

    ASSERT_EQ(c.TaskArray.size(), 1);
    const auto& moved = c.TaskArray[0];
    EXPECT_NE(moved, t);
    EXPECT_EQ(moved->taskInfoDelegate, &delegate);
    EXPECT_EQ(moved->backupSrc, (QStringList { media_ + "/Backup 1/Docs;UUID-A", "/home/ann/Notes",
                                               media_ + "/Backup/Other;UUID-B", media_ + "/Backup 1/Here;UUID-A" }));
    EXPECT_EQ(moved->backupDest, media_ + "/Backup 1/Dest;UUID-A");
    EXPECT_EQ(refreshed, 1);

    TaskController reread;
    const auto loaded = reread.loadTaskList();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0]->backupSrc, moved->backupSrc);
    EXPECT_EQ(loaded[0]->backupDest, moved->backupDest);
}

TEST_F(Remap, WholeComponentsOnly)
{
    // "Backup" must not be taken for the root of "Backup1".
    const QString root = volume("Backup", "UUID-A");
    mount({ root });
    TaskController c;
    auto t = task("T");
    t->backupSrc = { media_ + "/Backup1/Docs;UUID-A" };
    c.TaskArray = { t };
    c.updateTaskVolumePaths(false);
    EXPECT_EQ(c.TaskArray[0]->backupSrc, QStringList { media_ + "/Backup/Docs;UUID-A" });
}

TEST_F(Remap, AmbiguousIdentitiesMoveNothing)
{
    const QString twinA = volume("TwinA", "UUID-T");
    const QString twinB = volume("TwinB", "UUID-T");
    const QString hashed = volume("Hashed", "#");
    const QString empty = volume("Empty", "");
    mount({ twinA, twinB, hashed, empty });

    TaskController c;
    auto t = task("T");
    const QStringList sources { media_ + "/Gone/a;UUID-T", media_ + "/Gone/b;#", media_ + "/Gone/c;" };
    t->backupSrc = sources;
    t->backupDest = media_ + "/Gone/d;#";
    c.TaskArray = { t };
    c.updateTaskVolumePaths(false);
    EXPECT_EQ(c.TaskArray[0]->backupSrc, sources);
    EXPECT_EQ(c.TaskArray[0]->backupDest, media_ + "/Gone/d;#");
}

TEST_F(Remap, NothingMountedKeepsTasksAndTimersButSaves)
{
    ScopedFakeClock clock(localTime(2026, 12, 1, 8, 0));
    mount({});
    TaskController c;
    auto t = task("T");
    t->scheduleMode = "Daily";
    t->startScheduleTimer(true);
    c.TaskArray = { t };
    c.updateTaskVolumePaths(false);
    ASSERT_EQ(c.TaskArray[0], t);
    ASSERT_TRUE(t->scheduleTimer);
    EXPECT_FALSE(t->scheduleTimer->isCancelled());
    EXPECT_TRUE(QFileInfo::exists(TaskController::taskListPath()));
}

TEST_F(Remap, RebuildStopsTheOldScheduleAndSkipsTheCurrentMinute)
{
    ScopedFakeClock clock(localTime(2026, 12, 2, 9, 30, 30));
    const QString root = volume("Backup", "UUID-A");
    mount({ root });
    RecordingTaskDelegate delegate;
    TaskController c(&delegate);
    auto t = TaskInfo::initWithValues("T", "", { root + "/x;UUID-A" }, "/d", { "0" }, 1, "", "Daily", 9, 30, {}, {},
                                      0, 0, 0, 0, 0, 0, {}, true);
    c.TaskArray = { t };
    c.updateTaskVolumePaths(false);
    EXPECT_FALSE(t->scheduleTimer);
    ASSERT_NE(c.TaskArray[0], t);
    c.TaskArray[0]->checkSchedule();
    drainMainQueue();
    EXPECT_TRUE(delegate.started.empty());
}
