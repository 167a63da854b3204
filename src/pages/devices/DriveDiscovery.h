#pragma once

#include "SystemRoots.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>

class DiskInfoReport;
class QTimer;

// Finds the maker's drives among the attached USB devices: one record per mounted volume.
// A pass reads the USB report and the volume details off the GUI thread; while fewer
// drives than expected show up (volumes still mounting) it is repeated every half second,
// up to 14 times, unless the refresh came with tag 9.
//
// Record keys: "id" (block device, "sdb1"), "path" (last component of the mount point),
// "mountPoint" (the full mount point), "system", "total", "used", "free", "remain",
// "manu", "location" ("0x%08X").
class DriveDiscovery : public QObject {
    Q_OBJECT
public:
    using Record = QMap<QString, QString>;

    static constexpr int kNoRetryTag = 9;
    static constexpr int kMaxRetries = 14;
    // The user-defaults key of the devices judged not to be the maker's.
    static QString rejectedListKey() { return QStringLiteral("black_mail_device"); }

    explicit DriveDiscovery(QObject* parent = nullptr);

    void setSystemRoots(const SystemRoots& roots) { roots_ = roots; }
    const SystemRoots& systemRoots() const { return roots_; }
    void setRetryInterval(int milliseconds) { retryIntervalMs_ = milliseconds; }

    // The number of maker devices the caller expects attached.
    int deviceShouldHave() const { return deviceShouldHave_; }
    void setDeviceShouldHave(int count) { deviceShouldHave_ = count; }
    int retryCount() const { return retryCount_; }
    bool isBusy() const { return busy_; }
    // The records of the last pass handed over; kept while a new pass runs.
    const QList<Record>& deviceArray() const { return deviceArray_; }

    // Starts a pass. A refresh while one runs or waits for its retry replaces it.
    void refresh(int senderTag);

    // One pass, callable from any thread. rejected: the rejected-device list, updated.
    static QList<Record> runPass(const SystemRoots& roots, QStringList& rejected);
    // The kept devices of the report tree, each subtree's before its parent.
    static QList<QVariantMap> filterDeviceItems(const QList<QVariantMap>& items, QStringList& rejected);
    // From "diskutil info"-style text; none when it names no mount point.
    static std::optional<Record> readVolumeInfo(const QString& infoText, const QString& id, const QString& manufacturer,
                                                const QString& location);
    static QString findApfsVolume(const DiskInfoReport& disks, const QString& physicalStore);
    // value: a space value ("1.5 MB (1500000 Bytes) (...)"); a null text means absent.
    static QString formatVolumeSize(const QString& value);
    static QString usedPercentText(const QString& usedValue, const QString& totalValue);
    // The byte count of a space value; false when there is none that parses.
    static bool byteCount(const QString& value, double* bytes);

    // "black_mail_device": anything but a list of texts reads as an empty list.
    static QStringList readRejectedList();
    static void storeRejectedList(const QStringList& list);

Q_SIGNALS:
    void busyChanged(bool busy);
    // After every pass, retried or not.
    void passFinished(int records);
    // The pass was handed over: deviceArray() holds its records.
    void finished();

private:
    void startPass(int senderTag);
    void passDone(int senderTag, const QList<Record>& records, const QStringList& rejected, const QStringList& before);
    void setBusy(bool busy);

    SystemRoots roots_;
    QList<Record> deviceArray_;
    int deviceShouldHave_ = 0;
    int retryCount_ = 0;
    int retryIntervalMs_ = 500;
    bool busy_ = false;
    quint64 generation_ = 0;
    QTimer* retryTimer_ = nullptr;
    int retryTag_ = 0;
};
