#include "UdevUsbMonitor.h"

#include "UsbLocationId.h"

#include <QLoggingCategory>
#include <QSet>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <libudev.h>

Q_LOGGING_CATEGORY(lcUsbMonitor, "zorvi.usb.monitor")

namespace {

QString text(const char* value)
{
    return value ? QString::fromUtf8(value).trimmed() : QString();
}

quint16 hex16(const char* value)
{
    bool ok = false;
    const uint v = text(value).toUInt(&ok, 16);
    return ok && v <= 0xFFFF ? quint16(v) : 0;
}

bool isUsbDevice(udev_device* device)
{
    const char* subsystem = udev_device_get_subsystem(device);
    const char* devtype = udev_device_get_devtype(device);
    return subsystem && devtype && std::strcmp(subsystem, "usb") == 0
        && std::strcmp(devtype, "usb_device") == 0;
}

} // namespace

UdevUsbMonitor::UdevUsbMonitor(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<UsbDeviceInfo>();
}

UdevUsbMonitor::~UdevUsbMonitor()
{
    stop();
}

bool UdevUsbMonitor::start()
{
    if (monitor_)
        return true;
    error_.clear();

    udev_ = udev_new();
    if (!udev_) {
        error_ = tr("Cannot use udev: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }

    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_
        || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device") < 0
        || udev_monitor_enable_receiving(monitor_) < 0) {
        error_ = tr("Cannot watch USB devices: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        stop();
        return false;
    }

    const int fd = udev_monitor_get_fd(monitor_);
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &UdevUsbMonitor::readEvents);

    // Enumerate only after the monitor receives, so an arrival in between is not missed.
    QSet<QString> seen;
    udev_enumerate* enumerate = udev_enumerate_new(udev_);
    if (enumerate) {
        udev_enumerate_add_match_subsystem(enumerate, "usb");
        udev_enumerate_add_match_property(enumerate, "DEVTYPE", "usb_device");
        udev_enumerate_scan_devices(enumerate);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
        {
            udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
            if (!device)
                continue;
            if (isUsbDevice(device)) {
                seen.insert(text(udev_device_get_syspath(device)));
                handleAdded(device);
            }
            udev_device_unref(device);
        }
        udev_enumerate_unref(enumerate);
        // After a stop(), devices that left meanwhile are reported gone now.
        const QList<QString> known = order_;
        for (const QString& syspath : known) {
            if (!seen.contains(syspath))
                handleRemoved(syspath);
        }
    } else {
        qCWarning(lcUsbMonitor) << "cannot enumerate USB devices";
    }
    return true;
}

void UdevUsbMonitor::stop()
{
    delete notifier_;
    notifier_ = nullptr;
    if (monitor_)
        udev_monitor_unref(monitor_);
    monitor_ = nullptr;
    if (udev_)
        udev_unref(udev_);
    udev_ = nullptr;
}

QList<UsbDeviceInfo> UdevUsbMonitor::devices() const
{
    QList<UsbDeviceInfo> list;
    for (const QString& syspath : order_)
        list.append(present_.value(syspath));
    return list;
}

void UdevUsbMonitor::readEvents()
{
    if (!monitor_)
        return;
    // The socket is non-blocking: drain every queued event.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        qCDebug(lcUsbMonitor) << "uevent" << action << udev_device_get_syspath(device)
                              << udev_device_get_subsystem(device) << udev_device_get_devtype(device);
        if (action && isUsbDevice(device)) {
            if (std::strcmp(action, "add") == 0)
                handleAdded(device);
            else if (std::strcmp(action, "remove") == 0)
                handleRemoved(text(udev_device_get_syspath(device)));
        }
        udev_device_unref(device);
        if (!monitor_)
            break; // a receiver stopped us
    }
}

void UdevUsbMonitor::handleAdded(udev_device* device)
{
    const UsbDeviceInfo info = describe(device);
    if (info.syspath.isEmpty() || present_.contains(info.syspath))
        return;
    present_.insert(info.syspath, info);
    order_.append(info.syspath);
    Q_EMIT deviceAdded(info);
}

void UdevUsbMonitor::handleRemoved(const QString& syspath)
{
    const auto it = present_.constFind(syspath);
    if (it == present_.constEnd())
        return; // never reported as added: nothing to balance
    const UsbDeviceInfo info = it.value();
    present_.erase(it);
    order_.removeAll(syspath);
    Q_EMIT deviceRemoved(info);
}

UsbDeviceInfo UdevUsbMonitor::describe(udev_device* device)
{
    UsbDeviceInfo info;
    info.syspath = text(udev_device_get_syspath(device));
    info.name = text(udev_device_get_sysattr_value(device, "product"));
    if (info.name.isEmpty())
        info.name = text(udev_device_get_property_value(device, "ID_MODEL"));
    info.vendorName = text(udev_device_get_sysattr_value(device, "manufacturer"));
    if (info.vendorName.isEmpty())
        info.vendorName = text(udev_device_get_property_value(device, "ID_VENDOR"));
    info.vendorId = hex16(udev_device_get_sysattr_value(device, "idVendor"));
    info.productId = hex16(udev_device_get_sysattr_value(device, "idProduct"));
    info.serialNr = text(udev_device_get_sysattr_value(device, "serial"));
    info.busNumber = text(udev_device_get_sysattr_value(device, "busnum")).toInt();
    info.deviceAddress = text(udev_device_get_sysattr_value(device, "devnum")).toInt();
    info.devnode = text(udev_device_get_devnode(device));

    const QString devpath = text(udev_device_get_sysattr_value(device, "devpath"));
    if (info.busNumber > 0 && !devpath.isEmpty())
        info.locationId = UsbLocationId::fromSysfs(info.busNumber, devpath);
    else
        info.locationId = UsbLocationId::fromSyspath(info.syspath);
    return info;
}
