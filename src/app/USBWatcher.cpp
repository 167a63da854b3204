#include "USBWatcher.h"

#include "USBWatcherDelegate.h"
#include "UdevUsbMonitor.h"

USBWatcher::USBWatcher(USBWatcherDelegate* delegate, QObject* parent)
    : QObject(parent)
    , delegate_(delegate)
    , monitor_(new UdevUsbMonitor(this))
{
    if (auto* object = dynamic_cast<QObject*>(delegate)) {
        delegateObject_ = object;
        delegateIsObject_ = true;
    }
    // The monitor lives on this (the GUI) thread, so its signals arrive here directly.
    connect(monitor_, &UdevUsbMonitor::deviceAdded, this, &USBWatcher::forwardAdded);
    connect(monitor_, &UdevUsbMonitor::deviceRemoved, this, &USBWatcher::forwardRemoved);
}

USBWatcher::~USBWatcher() = default;

bool USBWatcher::start()
{
    return monitor_->start();
}

QString USBWatcher::errorString() const
{
    return monitor_->errorString();
}

USBWatcherDelegate* USBWatcher::liveDelegate() const
{
    if (delegateIsObject_ && !delegateObject_)
        return nullptr;
    return delegate_;
}

void USBWatcher::forwardAdded(const UsbDeviceInfo& device)
{
    if (USBWatcherDelegate* d = liveDelegate())
        d->deviceAdded(device);
}

void USBWatcher::forwardRemoved(const UsbDeviceInfo& device)
{
    if (USBWatcherDelegate* d = liveDelegate())
        d->deviceRemoved(device);
}
