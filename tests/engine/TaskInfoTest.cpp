#include "TaskInfo.h"
#include "UtilityFunctions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

TaskInfoPtr fullTask(const QString& mode = "None")
{
    return TaskInfo::initWithValues(
        "Photos", "2026-12-09, 4:05 PM", { "/home/ann/Pictures", "/media/ann/Stick/Raw;0A1B" },
        "/media/ann/Backup/Zorvi;9F2C", { "0", "1" }, 3, "s3cret", mode, 21, 45, { 1, 15, 31 }, { 2, 6 },
        1, -1, 5'000'000'000LL, 7, 2, 1, { "/home/ann/Pictures", "/media/ann/Stick/Raw" }, true);
}

void expectSameStoredFields(const TaskInfo& a, const TaskInfo& b)
{
    EXPECT_EQ(a.taskName, b.taskName);
    EXPECT_EQ(a.lastBackupDate, b.lastBackupDate);
    EXPECT_EQ(a.backupSrc, b.backupSrc);
    EXPECT_EQ(a.backupDest, b.backupDest);
    EXPECT_EQ(a.backupId, b.backupId);
    EXPECT_EQ(a.function, b.function);
    EXPECT_EQ(a.password, b.password);
    EXPECT_EQ(a.scheduleMode, b.scheduleMode);
    EXPECT_EQ(a.hour, b.hour);
    EXPECT_EQ(a.minute, b.minute);
    EXPECT_EQ(a.date, b.date);
    EXPECT_EQ(a.weekday, b.weekday);
    EXPECT_EQ(a.backupStatus, b.backupStatus);
    EXPECT_EQ(a.restoreStatus, b.restoreStatus);
    EXPECT_EQ(a.totalSize, b.totalSize);
    EXPECT_EQ(a.fileCount, b.fileCount);
    EXPECT_EQ(a.directoryCount, b.directoryCount);
    EXPECT_EQ(a.isOtbChecked, b.isOtbChecked);
    EXPECT_EQ(a.fixedSourcePaths, b.fixedSourcePaths);
    EXPECT_EQ(a.fixedSourceIdentities, b.fixedSourceIdentities);
}

} // namespace

TEST(TaskInfoRecord, InitGivesInitialValuesAndNoTimer)
{
    auto t = TaskInfo::init();
    EXPECT_TRUE(t->taskName.isEmpty());
    EXPECT_EQ(t->backupStatus, 0);
    EXPECT_EQ(t->restoreStatus, 0);
    EXPECT_EQ(t->function, 0);
    EXPECT_TRUE(t->date.isEmpty());
    EXPECT_FALSE(t->scheduleTimer);
    EXPECT_FALSE(t->BackupRestoreCancel.load());
    EXPECT_EQ(t->percentage.load(), 0.0f);
}

TEST(TaskInfoRecord, DictionaryHasNineteenKeysWithIntegerTypes)
{
    const QVariantMap d = fullTask()->toDictionary();
    // Beside the 19: a record made here knows no tree of its folder's backup yet.
    EXPECT_EQ(d.size(), 20);
    EXPECT_EQ(d.value("fixedSourceIdentities").toStringList(), QStringList());
    for (const char* key : { "function", "hour", "minute", "backupStatus", "restoreStatus", "totalSize",
                             "fileCount", "directoryCount", "isOtbChecked" })
        EXPECT_EQ(d.value(key).typeId(), QMetaType::LongLong) << key;
    for (const char* key : { "date", "weekday" }) {
        ASSERT_EQ(d.value(key).typeId(), QMetaType::QVariantList) << key;
        for (const QVariant& v : d.value(key).toList())
            EXPECT_EQ(v.typeId(), QMetaType::LongLong) << key;
    }
    EXPECT_EQ(d.value("totalSize").toLongLong(), 5'000'000'000LL);
}

TEST(TaskInfoRecord, DictionaryRoundTripKeepsAllStoredFieldsOnly)
{
    auto original = fullTask();
    original->fixedSourceIdentities = QStringList { "", "0A1B" }; // which drive each tree came from
    original->BackupRestoreCancel = true;
    original->removeWhenCancelList << "/tmp/x";
    original->percentage = 55.0f;

    auto direct = TaskInfo::initFromDictionary(original->toDictionary(), false);
    expectSameStoredFields(*original, *direct);

    // Through JSON, as the task-list file stores it: numbers come back as doubles.
    const QVariantMap viaJson = QJsonDocument::fromJson(
        QJsonDocument(QJsonObject::fromVariantMap(original->toDictionary())).toJson()).object().toVariantMap();
    auto loaded = TaskInfo::initFromDictionary(viaJson, false);
    expectSameStoredFields(*original, *loaded);
    EXPECT_FALSE(loaded->BackupRestoreCancel.load());
    EXPECT_TRUE(loaded->removeWhenCancelList.isEmpty());
    EXPECT_EQ(loaded->percentage.load(), 0.0f);
    EXPECT_EQ(loaded->taskInfoDelegate, nullptr);
}

TEST(TaskInfoRecord, WrongTypedKeysKeepInitialValues)
{
    QVariantMap d;
    d["taskName"] = 12;                                  // number for text
    d["hour"] = "9";                                     // text for integer
    d["minute"] = 30.5;                                  // not a whole number
    d["function"] = 2.0;                                 // a JSON number: accepted
    d["backupSrc"] = QVariantList { "/a", 3 };           // one element of another type
    d["date"] = QVariantList { 1, "2" };
    d["weekday"] = "1,7";
    d["password"] = QVariantList { "x" };
    d["fixedSourcePaths"] = QVariantList { "/a", "/b" }; // right type
    d["fixedSourceIdentities"] = "UUID";                 // knows no tree
    d["totalSize"] = true;
    auto t = TaskInfo::initFromDictionary(d, false);
    EXPECT_TRUE(t->taskName.isEmpty());
    EXPECT_EQ(t->hour, 0);
    EXPECT_EQ(t->minute, 0);
    EXPECT_EQ(t->function, 2);
    EXPECT_TRUE(t->backupSrc.isEmpty());
    EXPECT_TRUE(t->date.isEmpty());
    EXPECT_TRUE(t->weekday.isEmpty());
    EXPECT_TRUE(t->password.isEmpty());
    EXPECT_EQ(t->fixedSourcePaths, (QStringList { "/a", "/b" }));
    EXPECT_TRUE(t->fixedSourceIdentities.isEmpty());
    EXPECT_EQ(t->totalSize, 0);
}

TEST(TaskInfoRecord, EmptyDictionaryEqualsInit)
{
    auto a = TaskInfo::initFromDictionary({}, false);
    auto b = TaskInfo::init();
    expectSameStoredFields(*a, *b);
    EXPECT_FALSE(a->scheduleTimer);
}

TEST(TaskInfoRecord, ScheduleTimerOnlyForARealSchedule)
{
    EXPECT_FALSE(fullTask("None")->scheduleTimer);
    EXPECT_FALSE(fullTask("")->scheduleTimer);
    EXPECT_TRUE(fullTask("Daily")->scheduleTimer);
    EXPECT_TRUE(fullTask("Fortnightly")->scheduleTimer); // runs, but never falls due
}

TEST(TaskInfoRecord, CopyTaskInfoCopiesStoredFieldsNotRunState)
{
    auto original = fullTask("Weekly");
    original->fixedSourceIdentities = QStringList { "", "0A1B" };
    original->BackupRestoreCancel = true;
    original->copiedBytes = 99;
    auto copy = UtilityFunctions::copyTaskInfo(original);
    ASSERT_NE(copy, original);
    expectSameStoredFields(*original, *copy);
    EXPECT_EQ(copy->taskInfoDelegate, nullptr);
    EXPECT_FALSE(copy->BackupRestoreCancel.load());
    EXPECT_EQ(copy->copiedBytes.load(), 0);
    EXPECT_TRUE(copy->scheduleTimer);
}

TEST(TaskInfoRecord, PathPartAndTaskFolder)
{
    EXPECT_EQ(TaskInfo::pathPart("/media/ann/B/x;UUID;more"), "/media/ann/B/x");
    EXPECT_EQ(TaskInfo::pathPart("/home/ann"), "/home/ann");
    auto t = fullTask();
    EXPECT_EQ(t->taskFolder(), "/media/ann/Backup/Zorvi/Photos");
}
