// The task record, its dictionary form and its timers. The runs live in TaskInfoRuns.cpp.
#include "TaskInfo.h"

#include "Clock.h"
#include "DispatchQueue.h"
#include "DispatchTimer.h"
#include "EngineLog.h"
#include "ExternalVolumes.h"
#include "SizePoll.h"
#include "TreeSize.h"
#include "UtilityFunctions.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

const QString kTimerQueue = QStringLiteral("com.domain.app.timer");

// Ticks land this long after the minute boundary, so a timer that fires a little early
// still reads the new minute.
constexpr qint64 kBoundaryMarginMs = 100;

std::chrono::milliseconds untilNextMinute(const QDateTime& now)
{
    const qint64 intoMinute = qint64(now.time().second()) * 1000 + now.time().msec();
    const qint64 ms = 60000 - intoMinute + kBoundaryMarginMs;
    return std::chrono::milliseconds(std::clamp<qint64>(ms, 1000, 61000));
}

qint64 epochMinute(const QDateTime& when)
{
    const qint64 secs = when.toSecsSinceEpoch();
    return secs >= 0 ? secs / 60 : (secs - 59) / 60;
}

bool readText(const QVariant& v, QString& out)
{
    if (v.typeId() != QMetaType::QString)
        return false;
    out = v.toString();
    return true;
}

bool readInteger(const QVariant& v, qint64& out)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
        out = v.toLongLong();
        return true;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort: {
        const qulonglong u = v.toULongLong();
        if (u > qulonglong(std::numeric_limits<qint64>::max()))
            return false;
        out = qint64(u);
        return true;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        // JSON numbers arrive as doubles; only whole numbers in range are integers.
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) >= 9.2e18)
            return false;
        out = qint64(d);
        return true;
    }
    default:
        return false;
    }
}

bool readTextList(const QVariant& v, QStringList& out)
{
    if (v.typeId() == QMetaType::QStringList) {
        out = v.toStringList();
        return true;
    }
    if (v.typeId() != QMetaType::QVariantList)
        return false;
    QStringList list;
    for (const QVariant& item : v.toList()) {
        if (item.typeId() != QMetaType::QString)
            return false;
        list << item.toString();
    }
    out = list;
    return true;
}

bool readIntegerList(const QVariant& v, QList<qint64>& out)
{
    if (v.typeId() != QMetaType::QVariantList)
        return false;
    QList<qint64> list;
    for (const QVariant& item : v.toList()) {
        qint64 n = 0;
        if (!readInteger(item, n))
            return false;
        list << n;
    }
    out = list;
    return true;
}

// `path` lies on the drive mounted at `root`.
bool onDriveAt(const QString& path, const QString& root)
{
    const std::optional<QString> on = ExternalVolumes::volumeRoot(path);
    return on && *on == QDir::cleanPath(root);
}

QVariantList toVariantList(const QList<qint64>& list)
{
    QVariantList out;
    out.reserve(list.size());
    for (qint64 n : list)
        out << QVariant::fromValue<qint64>(n);
    return out;
}

} // namespace

TaskInfo::TaskInfo() = default;

TaskInfo::~TaskInfo()
{
    // A released task must never be handed over or polled again.
    std::unique_ptr<DispatchTimer> schedule;
    {
        std::lock_guard lock(scheduleMutex_);
        schedule = std::move(scheduleTimer);
    }
    if (schedule)
        schedule->cancel();
    stopBackupSizeTimer();
    stopRestoreSizeTimer();
}

std::shared_ptr<TaskInfo> TaskInfo::init()
{
    return std::shared_ptr<TaskInfo>(new TaskInfo());
}

std::shared_ptr<TaskInfo> TaskInfo::initWithValues(
    const QString& taskName, const QString& lastBackupDate, const QStringList& backupSrc,
    const QString& backupDest, const QStringList& backupId, qint64 function,
    const QString& password, const QString& scheduleMode, qint64 hour, qint64 minute,
    const QList<qint64>& date, const QList<qint64>& weekday, qint64 backupStatus,
    qint64 restoreStatus, qint64 totalSize, qint64 fileCount, qint64 directoryCount,
    qint64 isOtbChecked, const QStringList& fixedSourcePaths, bool delayFirstCheck)
{
    auto task = init();
    task->taskName = taskName;
    task->lastBackupDate = lastBackupDate;
    task->backupSrc = backupSrc;
    task->backupDest = backupDest;
    task->backupId = backupId;
    task->function = function;
    task->password = password;
    task->scheduleMode = scheduleMode;
    task->hour = hour;
    task->minute = minute;
    task->date = date;
    task->weekday = weekday;
    task->backupStatus = backupStatus;
    task->restoreStatus = restoreStatus;
    task->totalSize = totalSize;
    task->fileCount = fileCount;
    task->directoryCount = directoryCount;
    task->isOtbChecked = isOtbChecked;
    task->fixedSourcePaths = fixedSourcePaths;
    task->applyScheduleRule(delayFirstCheck);
    return task;
}

std::shared_ptr<TaskInfo> TaskInfo::initFromDictionary(const QVariantMap& d, bool delayFirstCheck)
{
    auto task = init();
    TaskInfo& t = *task;
    // Each key on its own: a missing or wrongly typed value keeps the initial one.
    readText(d.value("taskName"), t.taskName);
    readText(d.value("lastBackupDate"), t.lastBackupDate);
    readTextList(d.value("backupSrc"), t.backupSrc);
    readText(d.value("backupDest"), t.backupDest);
    readTextList(d.value("backupId"), t.backupId);
    readInteger(d.value("function"), t.function);
    readText(d.value("password"), t.password);
    readText(d.value("scheduleMode"), t.scheduleMode);
    readInteger(d.value("hour"), t.hour);
    readInteger(d.value("minute"), t.minute);
    readIntegerList(d.value("date"), t.date);
    readIntegerList(d.value("weekday"), t.weekday);
    readInteger(d.value("backupStatus"), t.backupStatus);
    readInteger(d.value("restoreStatus"), t.restoreStatus);
    readInteger(d.value("totalSize"), t.totalSize);
    readInteger(d.value("fileCount"), t.fileCount);
    readInteger(d.value("directoryCount"), t.directoryCount);
    readInteger(d.value("isOtbChecked"), t.isOtbChecked);
    readTextList(d.value("fixedSourcePaths"), t.fixedSourcePaths);
    // Without the key, a list of an earlier build; a value of another type knows no tree.
    if (!d.contains("fixedSourceIdentities"))
        t.learnTreesOfEarlierBuild();
    else
        readTextList(d.value("fixedSourceIdentities"), t.fixedSourceIdentities);
    t.applyScheduleRule(delayFirstCheck);
    return task;
}

QVariantMap TaskInfo::toDictionary() const
{
    QVariantMap d;
    d.insert("taskName", taskName);
    d.insert("lastBackupDate", lastBackupDate);
    d.insert("backupSrc", backupSrc);
    d.insert("backupDest", backupDest);
    d.insert("backupId", backupId);
    d.insert("function", QVariant::fromValue<qint64>(function));
    d.insert("password", password);
    d.insert("scheduleMode", scheduleMode);
    d.insert("hour", QVariant::fromValue<qint64>(hour));
    d.insert("minute", QVariant::fromValue<qint64>(minute));
    d.insert("date", toVariantList(date));
    d.insert("weekday", toVariantList(weekday));
    d.insert("backupStatus", QVariant::fromValue<qint64>(backupStatus));
    d.insert("restoreStatus", QVariant::fromValue<qint64>(restoreStatus));
    d.insert("totalSize", QVariant::fromValue<qint64>(totalSize));
    d.insert("fileCount", QVariant::fromValue<qint64>(fileCount));
    d.insert("directoryCount", QVariant::fromValue<qint64>(directoryCount));
    d.insert("isOtbChecked", QVariant::fromValue<qint64>(isOtbChecked));
    d.insert("fixedSourcePaths", fixedSourcePaths);
    d.insert("fixedSourceIdentities", fixedSourceIdentities);
    return d;
}

void TaskInfo::applyScheduleRule(bool delayFirstCheck)
{
    if (scheduleMode != "None" && !scheduleMode.isEmpty())
        startScheduleTimer(delayFirstCheck);
}

// ---------------------------------------------------------------- schedule

void TaskInfo::startScheduleTimer(bool delayFirstCheck)
{
    stopScheduleTimer();

    auto timer = std::make_unique<DispatchTimer>(DispatchQueue::serial(kTimerQueue));
    const QDateTime now = Clock::current()->now();
    std::weak_ptr<TaskInfo> weak = weak_from_this();
    timer->setHandler([weak]() {
        const auto task = weak.lock();
        if (!task)
            return;
        task->checkSchedule();
        task->armNextScheduleTick();
    });

    std::lock_guard lock(scheduleMutex_);
    if (delayFirstCheck) {
        // The current minute gets no check: a rebuilt task must not repeat the run its
        // predecessor may already have handed over.
        lastScheduledMinute_ = epochMinute(now);
        timer->schedule(untilNextMinute(now), 60s, 0ms);
    } else {
        timer->schedule(0ms, 60s, 0ms);
    }
    timer->resume();
    scheduleTimer = std::move(timer); // any earlier timer is cancelled as it is destroyed
}

void TaskInfo::stopScheduleTimer()
{
    if (scheduleMode == "None" || scheduleMode.isEmpty())
        return;
    std::unique_ptr<DispatchTimer> old;
    {
        std::lock_guard lock(scheduleMutex_);
        old = std::move(scheduleTimer);
    }
    if (old)
        old->cancel();
}

void TaskInfo::armNextScheduleTick()
{
    // Re-aimed at every tick, so the checks follow the minute instead of drifting off it.
    std::lock_guard lock(scheduleMutex_);
    if (scheduleTimer && !scheduleTimer->isCancelled())
        scheduleTimer->schedule(untilNextMinute(Clock::current()->now()), 60s, 0ms);
}

void TaskInfo::checkSchedule()
{
    const QDateTime now = Clock::current()->now().toLocalTime();
    {
        std::lock_guard lock(scheduleMutex_);
        if (!scheduleTimer || scheduleTimer->isCancelled())
            return;
        const QTime time = now.time();
        const QDate day = now.date();
        qCDebug(lcEngine) << "schedule check" << taskName << now.toString(Qt::ISODate);
        if (time.minute() != minute || time.hour() != hour)
            return;
        bool due = false;
        if (scheduleMode == "Daily")
            due = true;
        else if (scheduleMode == "Weekly")
            due = weekday.contains(qint64(day.dayOfWeek() % 7 + 1)); // 1 = Sunday
        else if (scheduleMode == "Monthly")
            due = date.contains(qint64(day.day()));
        if (!due)
            return;
        const qint64 thisMinute = epochMinute(now);
        if (thisMinute == lastScheduledMinute_)
            return;
        lastScheduledMinute_ = thisMinute;
    }
    std::weak_ptr<TaskInfo> weak = weak_from_this();
    DispatchQueue::main().async([weak]() {
        const auto task = weak.lock();
        if (task && task->taskInfoDelegate)
            task->taskInfoDelegate->startScheduledTask(task);
    });
}

// ---------------------------------------------------------------- progress polls

void TaskInfo::startSizeTimer(std::unique_ptr<DispatchTimer>& slot, int intervalMs)
{
    auto timer = std::make_unique<DispatchTimer>(DispatchQueue::serial(kTimerQueue));
    auto poll = std::make_shared<SizePoll>();
    std::weak_ptr<TaskInfo> weak = weak_from_this();
    // The copier advances copiedBytes as it writes; reading it costs nothing, unlike a walk
    // of the tree every 10 ms.
    timer->setHandler([weak, poll]() {
        const auto task = weak.lock();
        if (!task)
            return;
        const SizePoll::Tick tick = poll->tick(task->copiedBytes.load(), task->totalSize);
        task->percentage = tick.percentage;
        if (tick.report && task->copyProgressDelegate)
            task->copyProgressDelegate->copyProgress(tick.percentage);
    });
    timer->schedule(0ms, std::chrono::milliseconds(std::max(intervalMs, 1)), 0ms);
    timer->resume();
    slot = std::move(timer);
}

void TaskInfo::startBackupSizeTimer(int intervalMs)
{
    startSizeTimer(backupSizeTimer, intervalMs);
}

void TaskInfo::startRestoreSizeTimer(int intervalMs)
{
    startSizeTimer(restoreSizeTimer, intervalMs);
}

void TaskInfo::stopBackupSizeTimer()
{
    if (backupSizeTimer)
        backupSizeTimer->cancel();
    backupSizeTimer.reset();
}

void TaskInfo::stopRestoreSizeTimer()
{
    if (restoreSizeTimer)
        restoreSizeTimer->cancel();
    restoreSizeTimer.reset();
}

qint64 TaskInfo::folderSize(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    if (!S_ISDIR(st.st_mode))
        return qint64(st.st_size);
    qint64 total = 0;
    TreeSize::sumBelow(path, TreeSize::Measure::Apparent, total);
    return total;
}

// ---------------------------------------------------------------- paths

QString TaskInfo::pathPart(const QString& entry)
{
    const qsizetype semicolon = entry.indexOf(';');
    return semicolon < 0 ? entry : entry.left(semicolon);
}

bool TaskInfo::samePlace(const QString& path, const QString& identity, const QString& otherPath,
                         const QString& otherIdentity)
{
    if (identity != otherIdentity)
        return false;
    const QString a = QDir::cleanPath(path);
    const QString b = QDir::cleanPath(otherPath);
    if (UtilityFunctions::isAmbiguousIdentity(identity))
        return a == b;
    const std::optional<QString> rootA = ExternalVolumes::volumeRoot(a);
    const std::optional<QString> rootB = ExternalVolumes::volumeRoot(b);
    if (!rootA || !rootB)
        return a == b;
    return a.mid(rootA->size()) == b.mid(rootB->size());
}

QString TaskInfo::taskFolder() const
{
    return QStringLiteral("%1/%2").arg(pathPart(backupDest), taskName);
}

bool TaskInfo::readsSameBackupAs(const TaskInfo& other) const
{
    return function == other.function
        && samePlace(pathPart(backupDest), UtilityFunctions::identityPart(backupDest), pathPart(other.backupDest),
                     UtilityFunctions::identityPart(other.backupDest));
}

// ---------------------------------------------------------------- drives of the trees

void TaskInfo::learnTreesOfEarlierBuild()
{
    // A plain copy recorded the tree of source i as its entry i. An archive recorded none: it
    // holds each source under the path its entry had at the last backup.
    QStringList stored;
    if (function == 1) {
        stored = fixedSourcePaths;
    } else {
        for (const QString& entry : std::as_const(backupSrc))
            stored << pathPart(entry);
    }
    QList<std::pair<QString, QString>> learned;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QString tree = QDir::cleanPath(stored.at(i));
        if (stored.at(i).isEmpty())
            continue;
        // The entry that made the tree tells its drive while it is still where the tree is.
        // Elsewhere it has followed its drive since, and another entry that followed its own
        // drive into that place would name a drive the tree never came from.
        QString identity;
        if (i < backupSrc.size() && QDir::cleanPath(pathPart(backupSrc.at(i))) == tree)
            identity = UtilityFunctions::identityPart(backupSrc.at(i));
        else if (ExternalVolumes::isExternalPath(tree))
            identity = kUnknownIdentity;
        if (!learned.contains({ tree, identity }))
            learned.append({ tree, identity });
    }
    fixedSourcePaths.clear();
    fixedSourceIdentities.clear();
    for (const auto& [tree, identity] : std::as_const(learned)) {
        fixedSourcePaths << tree;
        fixedSourceIdentities << identity;
    }
}

QString TaskInfo::adoptingDriveIdentity(const QString& entry, const QString& root, const QString& identity)
{
    const QString path = pathPart(entry);
    if (!UtilityFunctions::isAmbiguousIdentity(UtilityFunctions::identityPart(entry)) || !onDriveAt(path, root))
        return entry;
    return path + ";" + identity;
}

bool TaskInfo::adoptDriveIdentity(const QString& root, const QString& identity)
{
    bool changed = false;
    const auto adopt = [&](QString& entry) {
        const QString adopted = adoptingDriveIdentity(entry, root, identity);
        changed = changed || adopted != entry;
        entry = adopted;
    };
    for (QString& entry : backupSrc)
        adopt(entry);
    adopt(backupDest);
    const qsizetype trees = std::min(fixedSourcePaths.size(), fixedSourceIdentities.size());
    for (qsizetype k = 0; k < trees; ++k) {
        if (UtilityFunctions::isAmbiguousIdentity(fixedSourceIdentities.at(k)) && onDriveAt(fixedSourcePaths.at(k), root)) {
            fixedSourceIdentities[k] = identity;
            changed = true;
        }
    }
    return changed;
}
