#pragma once

#include "CopyProgressDelegate.h"
#include "TaskInfoDelegate.h"
#include "TaskLock.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class DispatchTimer;
class LzmaSDKObjCItem;
class ProgressReceiver;
class SourcePairing;

// One backup task: what to back up, where to, how, when, and the outcome of its last runs.
// Always held by std::shared_ptr: its timers refer to it weakly.
class TaskInfo : public std::enable_shared_from_this<TaskInfo> {
public:
    // --- run-time state, never stored ---
    TaskInfoDelegate* taskInfoDelegate = nullptr;
    CopyProgressDelegate* copyProgressDelegate = nullptr;

    // --- the 19 stored fields ---
    QString taskName;
    QString lastBackupDate;
    qint64 backupStatus = 0;   // 0 never run, 1 last run succeeded, -1 failed or cancelled
    qint64 restoreStatus = 0;
    QStringList backupSrc;     // entries may be device-tagged: "path;uuid"
    QString backupDest;
    QStringList backupId;
    qint64 function = 0;       // 1 plain copy, 2 7z, 3 encrypted 7z
    QString password;
    QString scheduleMode;      // "None", "Daily", "Weekly", "Monthly" or empty
    qint64 hour = 0;
    qint64 minute = 0;
    QList<qint64> date;        // days of the month, 1..31
    QList<qint64> weekday;     // 1 = Sunday .. 7 = Saturday
    qint64 totalSize = 0;
    qint64 fileCount = 0;
    qint64 directoryCount = 0;
    qint64 isOtbChecked = 0;
    QStringList fixedSourcePaths;
    // Stored beside the 19 (key "fixedSourceIdentities"): entry i is the identity of the drive
    // that held fixedSourcePaths[i] when it was backed up; "" for a folder on the computer or a
    // drive that had none, kUnknownIdentity where nothing tells which drive it was. A record
    // made here starts knowing no tree of its folder's backup; one read from a list of an
    // earlier build, which did not store the key, learns its trees' identities as it is read.
    QStringList fixedSourceIdentities;
    // Equal to no drive's identity: an entry cannot hold a ';' in its identity part.
    static inline const QString kUnknownIdentity = QStringLiteral(";unknown");

    // --- run-time state, never stored ---
    std::atomic<bool> BackupRestoreCancel { false };
    std::unique_ptr<DispatchTimer> scheduleTimer;
    std::unique_ptr<DispatchTimer> backupSizeTimer;
    std::unique_ptr<DispatchTimer> restoreSizeTimer;
    QStringList removeWhenCancelList;
    std::atomic<float> percentage { 0.0f };
    // Bytes written by the running plain copy; the size polls read it instead of walking the tree.
    std::atomic<qint64> copiedBytes { 0 };

    // --- creation ---
    static std::shared_ptr<TaskInfo> init();
    static std::shared_ptr<TaskInfo> initWithValues(
        const QString& taskName, const QString& lastBackupDate, const QStringList& backupSrc,
        const QString& backupDest, const QStringList& backupId, qint64 function,
        const QString& password, const QString& scheduleMode, qint64 hour, qint64 minute,
        const QList<qint64>& date, const QList<qint64>& weekday, qint64 backupStatus,
        qint64 restoreStatus, qint64 totalSize, qint64 fileCount, qint64 directoryCount,
        qint64 isOtbChecked, const QStringList& fixedSourcePaths, bool delayFirstCheck);
    static std::shared_ptr<TaskInfo> initFromDictionary(const QVariantMap& dictionary, bool delayFirstCheck);

    ~TaskInfo();
    TaskInfo(const TaskInfo&) = delete;
    TaskInfo& operator=(const TaskInfo&) = delete;

    QVariantMap toDictionary() const;

    // --- schedule and progress timers ---
    void startScheduleTimer(bool delayFirstCheck);
    void stopScheduleTimer();
    void startBackupSizeTimer(int intervalMs);
    void startRestoreSizeTimer(int intervalMs);
    // Cancel and drop the poll; the runs call them when they end, fail or are cancelled.
    void stopBackupSizeTimer();
    void stopRestoreSizeTimer();
    // One look at Clock::current(): hands the task over when its minute is due and has not
    // been handed over yet. The schedule timer calls it; tests may call it directly.
    void checkSchedule();
    static qint64 folderSize(const QString& path);

    // --- runs (background thread) ---
    bool performBackup(ProgressReceiver* progressWindow, QString& message);
    bool performRestore(const QString& password, ProgressReceiver* progressWindow, QString& message);
    bool copyBackup(ProgressReceiver* progressWindow, QString& message);
    bool copyRestore(ProgressReceiver* progressWindow, QString& message);
    bool archiveBackup(bool encrypt, ProgressReceiver* progressWindow);
    bool archiveRestore(bool encrypted, const QString& password, ProgressReceiver* progressWindow, QString& message);
    static QString checkPathEntry(const QString& entry, const QString& prefix);
    // True while the task's destination holds a backup a restore can use, with a tree that
    // pairs with one of its sources (or would, but for the drives attached now), whatever the
    // last run's outcome: a failed or cancelled run keeps the previous one.
    bool hasCompleteBackup() const;
    // The Restore page offers the task: its last backup succeeded, or its folder holds one.
    bool offeredForRestore() const { return backupStatus == 1 || hasCompleteBackup(); }
    // This task replaces `before` (an edit, or a new task of its name): with `sameBackup` it
    // knows every tree `before` knew its backup to hold, and the pairing decides which source
    // each goes to. Without it (another destination or mode) it knows no tree of its folder.
    void keepFixedSourcesOf(const TaskInfo& before, bool sameBackup);
    // Records the sources just backed up, with the identities of their drives.
    void recordFixedSources();
    // Both read the same backup: the same mode, and destinations at one place.
    bool readsSameBackupAs(const TaskInfo& other) const;
    // The drive mounted at `root` showed no identity and has just been given `identity`: every
    // entry (sources and destination) and every tree recorded on it there with none takes it.
    // True when anything changed.
    bool adoptDriveIdentity(const QString& root, const QString& identity);
    // `entry` with `identity` when it stands for a place on the drive at `root` with none.
    static QString adoptingDriveIdentity(const QString& entry, const QString& root, const QString& identity);

    // The path part of a stored entry (the text before the first ';').
    static QString pathPart(const QString& entry);
    // True when two places are one: on the drive of the same identity (or both on none) at the
    // same path below its root, wherever it is mounted. Places on no drive, or on drives that
    // cannot be told apart, are one only at the same path.
    static bool samePlace(const QString& path, const QString& identity, const QString& otherPath,
                          const QString& otherIdentity);
    // The task's folder inside its destination.
    QString taskFolder() const;

private:
    TaskInfo();
    // A record of an earlier build learns which drive each tree of its backup came from, from
    // its entries as they were saved, before any of them follows its drive elsewhere.
    void learnTreesOfEarlierBuild();
    void applyScheduleRule(bool delayFirstCheck);
    void armNextScheduleTick();
    void startSizeTimer(std::unique_ptr<DispatchTimer>& slot, int intervalMs);

    // The file an encrypted backup puts into an empty single source folder, which 7z would not store.
    static inline const QString kPlaceholderName = QStringLiteral("MXTemp.tmp");
    // "yyyy-MM-dd, h:mm a" with "AM"/"PM" whatever the user's locale.
    static QString backupStamp();
    // Mends what a run stopped by a crash left around `item`, then removes our temporaries there.
    static void recoverAndClean(const QString& item);
    // The common end of performBackup and performRestore: cancel marker, fallback message, reset.
    bool endRun(bool result, QString& message, const QString& fallback);
    // The cleaned path parts of backupSrc, in order.
    QStringList sourcePaths() const;
    // Takes the task's lock (else says why in `message`), waits for what the last run left to
    // the background (telling `progressWindow`; a cancel ends the wait), then mends and clears
    // what runs of this task stopped by a crash left behind.
    std::optional<TaskLock> lockAndRecover(bool restoring, ProgressReceiver* progressWindow, QString& message) const;
    // The trees of the last backup paired with the sources they go back to (SourcePairing).
    SourcePairing pairing() const;
    // The pairs whose tree the plain copy holds.
    QList<std::pair<QString, QString>> heldSources(const SourcePairing& pairing) const;
    // The sources of this task whose place is on a drive attached now that is not the drive
    // they were chosen on (another card with the same name): a restore never writes there.
    QStringList sourcesOnAnotherDrive() const;
    // Lines naming the sources a restore leaves out although the backup may hold theirs: the
    // ones whose place holds another drive, and the ones it cannot tell a tree is theirs.
    // `holds` says whether the backup holds the tree stored at a path; `named` gets the sources.
    QStringList namedSources(const SourcePairing& pairing, const std::function<bool(const QString&)>& holds,
                             QStringList& named) const;
    // Names the source a restore refused for another drive in its place, and where its backup
    // is when it holds a tree of it (`tree`, its path in the backup; empty when none).
    QString onAnotherDriveText(const QString& source, const QString& tree) const;
    // Names a source whose tree the backup holds (at `tree`) though it cannot be told that
    // the drive in its place now is the one it came from: `twins` when several attached drives
    // carry that drive's identity.
    QString cannotTellText(const QString& source, const QString& tree, bool twins) const;
    // " Its backup is …": where the backup holds the tree stored at `tree`.
    QString whereTheBackupIs(const QString& tree) const;
    static QString notInLastBackupText(const QString& source);
    // A restore that put back all it could (`restoredAny`: some of it): false with a message
    // naming what it left out.
    static bool reportLeftOut(bool restoredAny, const QStringList& notRestored, const QStringList& notHeld,
                              QString& message);
    static QString inTheWay(const QString& path);

    std::mutex scheduleMutex_;        // guards scheduleTimer and lastScheduledMinute_
    QString runError_;                // why the last archive step failed, for the run's message
    QStringList workFoldersInSources_; // found by the backup's measure, kept out of the archive
    qint64 lastScheduledMinute_ = -1; // minute (since epoch) of the last run handed over
};

using TaskInfoPtr = std::shared_ptr<TaskInfo>;
