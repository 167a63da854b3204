#pragma once

#include "USBWatcherDelegate.h"
#include "UsbDeviceInfo.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <functional>

class DeviceListPage;

// What the main window does when a USB device comes or goes: it stops one-touch polling,
// keeps the number of attached maker devices, refreshes the My Device page after a short
// delay (1.0 s with tag 0 after an arrival, 0.5 s with tag 9 after a removal) and records
// new maker product names in Documents/MorvantekZorvi/model.txt.
class UsbDeviceTracker : public QObject, public USBWatcherDelegate {
    Q_OBJECT
public:
    static constexpr int kArrivalDelayMs = 1000;
    static constexpr int kRemovalDelayMs = 500;
    static constexpr int kArrivalTag = 0;
    static constexpr int kRemovalTag = 9;

    explicit UsbDeviceTracker(QObject* parent = nullptr);

    // page: not owned; when it is a QObject that was destroyed, refreshes are skipped.
    void setDeviceListPage(DeviceListPage* page);
    // Called at every arrival and removal, before anything else.
    void setStopOtbPolling(std::function<void()> stop) { stopOtbPolling_ = std::move(stop); }

    void deviceAdded(const UsbDeviceInfo& device) override;
    void deviceRemoved(const UsbDeviceInfo& device) override;

    // The expected number of maker devices: those attached now, each counted once.
    int usbShouldConnected() const { return int(makerDevices_.size()); }
    QStringList modelList() const { return modelList_; }

    // Sends one "Used Product" event per model name not reported yet; the main window
    // calls it when its view is about to appear.
    void reportUsedProducts();

    // The model list file. Both answer false / do nothing when Documents cannot be found.
    static QString modelListPath();
    static bool isModelRecorded(const QString& name);
    static bool recordModel(const QString& name);
    // Lower case, control characters removed, surrounding blanks trimmed.
    static QString modelName(const QString& deviceName);

Q_SIGNALS:
    // A delayed refresh fell due, after the page (when there still is one) was told.
    void refreshed(int count, int senderTag);

private:
    static bool isMakerDevice(const UsbDeviceInfo& device);
    void scheduleRefresh(int delayMs, int tag);
    DeviceListPage* livePage() const;

    DeviceListPage* page_ = nullptr;
    QPointer<QObject> pageObject_;
    bool pageIsObject_ = false;
    std::function<void()> stopOtbPolling_;
    QSet<QString> makerDevices_; // syspaths
    QStringList modelList_;
    int reported_ = 0;
};
