#pragma once

#include <QObject>
#include <QPointer>

class UdevUsbMonitor;
class USBWatcherDelegate;
struct UsbDeviceInfo;

// Turns the udev monitor's USB arrivals and departures into delegate calls on the GUI
// thread. Devices already attached are reported as added by start().
class USBWatcher : public QObject {
    Q_OBJECT
public:
    // delegate: not owned; calls stop when it is a QObject that was destroyed.
    explicit USBWatcher(USBWatcherDelegate* delegate, QObject* parent = nullptr);
    ~USBWatcher() override;

    // False when udev cannot be used (no device is then reported); see errorString().
    bool start();
    QString errorString() const;
    UdevUsbMonitor* monitor() const { return monitor_; }

private:
    void forwardAdded(const UsbDeviceInfo& device);
    void forwardRemoved(const UsbDeviceInfo& device);
    USBWatcherDelegate* liveDelegate() const;

    USBWatcherDelegate* delegate_ = nullptr;
    QPointer<QObject> delegateObject_;
    bool delegateIsObject_ = false;
    UdevUsbMonitor* monitor_ = nullptr;
};
