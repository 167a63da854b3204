#pragma once

#include "UsbDeviceInfo.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

struct udev;
struct udev_device;
struct udev_monitor;
class QSocketNotifier;

// Follows USB devices (subsystem "usb", devtype "usb_device") through libudev. start()
// enables the netlink monitor first and then enumerates, so no arrival between the two
// is lost; a device seen twice (by enumeration and by an event) is reported once.
// Signals are emitted on the thread the monitor lives on.
class UdevUsbMonitor : public QObject {
    Q_OBJECT
public:
    explicit UdevUsbMonitor(QObject* parent = nullptr);
    ~UdevUsbMonitor() override;

    // Connect to the signals before calling: every device already attached is reported
    // through deviceAdded before start() returns. False (with errorString()) when udev
    // or its monitor cannot be set up; calling it again after success does nothing.
    bool start();
    // Stops listening but remembers the devices: a later start() reports only what
    // changed in between (arrivals as added, departures as removed).
    void stop();
    bool isRunning() const { return monitor_ != nullptr; }
    QString errorString() const { return error_; }

    // Devices attached now, in arrival order.
    QList<UsbDeviceInfo> devices() const;

Q_SIGNALS:
    void deviceAdded(const UsbDeviceInfo& device);
    // Carries what was known of the device when it arrived (sysfs is gone by now).
    void deviceRemoved(const UsbDeviceInfo& device);

private:
    void readEvents();
    void handleAdded(udev_device* device);
    void handleRemoved(const QString& syspath);
    static UsbDeviceInfo describe(udev_device* device);

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    QHash<QString, UsbDeviceInfo> present_;
    QList<QString> order_;
    QString error_;
};
