// The task-list file users already have on disk: these bytes were written once, outside the
// program, and must stay readable; written back, every field they hold stays as it was.
#include "EngineTestSupport.h"

#include "TaskController.h"
#include "TaskListCipher.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

const QString kDataDir = QStringLiteral(ZORVI_ENGINE_TEST_DATA);
const QString kDrive = QStringLiteral("/media/ann/Zorvi Backup;0B9E6C14-7D2A-4F3B-9C8D-1E2F3A4B5C6D");
const QString kNoPassword = QStringLiteral("#no~pass*wd#");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << path.toStdString();
    return f.readAll();
}

struct StoredTask {
    QString taskName;
    QString lastBackupDate;
    QStringList backupSrc;
    QString backupDest;
    QStringList backupId;
    qint64 function;
    QString password;
    QString scheduleMode;
    qint64 hour;
    qint64 minute;
    QList<qint64> date;
    QList<qint64> weekday;
    qint64 backupStatus;
    qint64 restoreStatus;
    qint64 totalSize;
    qint64 fileCount;
    qint64 directoryCount;
    qint64 isOtbChecked;
    QStringList fixedSourcePaths;
    QStringList fixedSourceIdentities;
};

void expectTask(const TaskInfo& t, const StoredTask& e)
{
    SCOPED_TRACE(e.taskName.toStdString());
    EXPECT_EQ(t.taskName, e.taskName);
    EXPECT_EQ(t.lastBackupDate, e.lastBackupDate);
    EXPECT_EQ(t.backupSrc, e.backupSrc);
    EXPECT_EQ(t.backupDest, e.backupDest);
    EXPECT_EQ(t.backupId, e.backupId);
    EXPECT_EQ(t.function, e.function);
    EXPECT_EQ(t.password, e.password);
    EXPECT_EQ(t.scheduleMode, e.scheduleMode);
    EXPECT_EQ(t.hour, e.hour);
    EXPECT_EQ(t.minute, e.minute);
    EXPECT_EQ(t.date, e.date);
    EXPECT_EQ(t.weekday, e.weekday);
    EXPECT_EQ(t.backupStatus, e.backupStatus);
    EXPECT_EQ(t.restoreStatus, e.restoreStatus);
    EXPECT_EQ(t.totalSize, e.totalSize);
    EXPECT_EQ(t.fileCount, e.fileCount);
    EXPECT_EQ(t.directoryCount, e.directoryCount);
    EXPECT_EQ(t.isOtbChecked, e.isOtbChecked);
    EXPECT_EQ(t.fixedSourcePaths, e.fixedSourcePaths);
    EXPECT_EQ(t.fixedSourceIdentities, e.fixedSourceIdentities);
}

class TaskListGolden : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(TaskController::taskListFolder()).removeRecursively();
        golden_ = readAll(kDataDir + "/metadata.meta.golden");
        plain_ = readAll(kDataDir + "/metadata.meta.json");
        ASSERT_FALSE(golden_.isEmpty());
        ASSERT_FALSE(plain_.isEmpty());
    }

    void installGolden()
    {
        ASSERT_TRUE(QDir().mkpath(TaskController::taskListFolder()));
        ASSERT_TRUE(QFile::copy(kDataDir + "/metadata.meta.golden", TaskController::taskListPath()));
    }

    // Away from both scheduled minutes, so no loaded task is handed over.
    ScopedFakeClock clock_ { localTime(2025, 3, 12, 12, 0) };
    QByteArray golden_;
    QByteArray plain_;
};

} // namespace

TEST_F(TaskListGolden, FileIsThePlainTextUnderTheFixedKeyAndIv)
{
    QByteArray out;
    QString error;
    ASSERT_TRUE(TaskListCipher::decrypt(golden_, TaskListCipher::defaultKey(), TaskListCipher::defaultIv(), out, error))
        << error.toStdString();
    EXPECT_EQ(out, plain_);
    ASSERT_TRUE(TaskListCipher::encrypt(plain_, TaskListCipher::defaultKey(), TaskListCipher::defaultIv(), out, error));
    EXPECT_EQ(out, golden_);
}

TEST_F(TaskListGolden, LoadingGivesEveryStoredField)
{
    installGolden();
    TaskController c;
    const QList<TaskInfoPtr> tasks = c.loadTaskList();
    ASSERT_EQ(tasks.size(), 3);

    expectTask(*tasks[0], { .taskName = "Work Documents",
                            .lastBackupDate = "2025-03-14, 6:05 PM",
                            .backupSrc = { "/media/ann/Stick/Reports;6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F",
                                           "/home/ann/Documents/Taxes" },
                            .backupDest = kDrive,
                            .backupId = { "0", "1" },
                            .function = 1,
                            .password = kNoPassword,
                            .scheduleMode = "None",
                            .hour = -1,
                            .minute = -1,
                            .date = {},
                            .weekday = {},
                            .backupStatus = 1,
                            .restoreStatus = 0,
                            .totalSize = 734003200,
                            .fileCount = 0,
                            .directoryCount = 2,
                            .isOtbChecked = 1,
                            .fixedSourcePaths = { "/media/ann/Stick/Reports", "/home/ann/Documents/Taxes" },
                            // Learned as the list is read: the drive of the entry that made each tree.
                            .fixedSourceIdentities = { "6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F", "" } });
    expectTask(*tasks[1], { .taskName = "Projects",
                            .lastBackupDate = "2025-03-10, 9:30 PM",
                            .backupSrc = { "/home/ann/Projects" },
                            .backupDest = kDrive,
                            .backupId = { "0" },
                            .function = 3,
                            .password = "Kiwi2024",
                            .scheduleMode = "Weekly",
                            .hour = 21,
                            .minute = 30,
                            .date = {},
                            .weekday = { 2, 4, 6 },
                            .backupStatus = -1,
                            .restoreStatus = 1,
                            .totalSize = 6442450944LL,
                            .fileCount = 0,
                            .directoryCount = 1,
                            .isOtbChecked = 0,
                            // An archive recorded no paths: its trees are where its entries are.
                            .fixedSourcePaths = { "/home/ann/Projects" },
                            .fixedSourceIdentities = { "" } });
    expectTask(*tasks[2], { .taskName = QStringLiteral("Fotos \u00c4pfel"),
                            .lastBackupDate = "",
                            .backupSrc = { QStringLiteral("/home/ann/Bilder/Fotos \u00c4pfel"),
                                           QStringLiteral("/home/ann/Bilder/\u00dcbersicht.pdf") },
                            .backupDest = kDrive,
                            .backupId = { "0", "1" },
                            .function = 2,
                            .password = kNoPassword,
                            .scheduleMode = "Monthly",
                            .hour = 3,
                            .minute = 0,
                            .date = { 1, 15, 31 },
                            .weekday = {},
                            .backupStatus = 0,
                            .restoreStatus = 0,
                            .totalSize = 1288490188,
                            .fileCount = 1,
                            .directoryCount = 1,
                            .isOtbChecked = 0,
                            .fixedSourcePaths = { QStringLiteral("/home/ann/Bilder/Fotos \u00c4pfel"),
                                                  QStringLiteral("/home/ann/Bilder/\u00dcbersicht.pdf") },
                            .fixedSourceIdentities = { "", "" } });
}

// Saved again, the list keeps every field it was read with, and what each record learned of its
// trees' drives; read and saved once more, it is written back byte for byte.
TEST_F(TaskListGolden, SavingTheLoadedListKeepsItsFieldsAndWhatItLearned)
{
    installGolden();
    TaskController c;
    c.TaskArray = c.loadTaskList();
    ASSERT_EQ(c.TaskArray.size(), 3);
    QFile::remove(TaskController::taskListPath());
    ASSERT_TRUE(c.saveTaskList());
    const QByteArray written = readAll(TaskController::taskListPath());
    QByteArray plain;
    QString error;
    ASSERT_TRUE(TaskListCipher::decrypt(written, TaskListCipher::defaultKey(), TaskListCipher::defaultIv(), plain, error));
    const QJsonArray saved = QJsonDocument::fromJson(plain).array();
    const QJsonArray golden = QJsonDocument::fromJson(plain_).array();
    ASSERT_EQ(saved.size(), golden.size());
    for (qsizetype i = 0; i < saved.size(); ++i) {
        QJsonObject record = saved.at(i).toObject();
        QJsonObject before = golden.at(i).toObject();
        EXPECT_EQ(record.take("fixedSourceIdentities").toVariant().toStringList(), c.TaskArray.at(i)->fixedSourceIdentities);
        EXPECT_EQ(record.take("fixedSourcePaths").toVariant().toStringList(), c.TaskArray.at(i)->fixedSourcePaths);
        before.remove("fixedSourcePaths");
        EXPECT_EQ(record, before) << i;
    }

    c.TaskArray = c.loadTaskList();
    QFile::remove(TaskController::taskListPath());
    ASSERT_TRUE(c.saveTaskList());
    EXPECT_EQ(readAll(TaskController::taskListPath()), written);
}
