#include "UsbPropertyListing.h"

#include "UsbLocationId.h"

#include <QList>

#include <libudev.h>

#include <algorithm>

namespace {

QString attribute(udev_device* device, const char* name)
{
    const char* value = udev_device_get_sysattr_value(device, name);
    return value ? QString::fromUtf8(value).trimmed() : QString();
}

struct Block {
    quint32 location = 0;
    QString text;
};

Block describe(udev_device* device)
{
    const QString sysname = QString::fromUtf8(udev_device_get_sysname(device));
    const int bus = attribute(device, "busnum").toInt();
    const QString devpath = attribute(device, "devpath");
    Block b;
    b.location = bus > 0 && !devpath.isEmpty() ? UsbLocationId::fromSysfs(bus, devpath)
                                               : UsbLocationId::fromSyspath(sysname);
    QString product = attribute(device, "product");
    if (product.isEmpty())
        product = QStringLiteral("USB Device");
    const QString hexLocation = UsbLocationId::toText(b.location).mid(2);
    QStringList lines;
    lines << QStringLiteral("+-o %1@%2  <usb_device %3>").arg(product, hexLocation, sysname) << QStringLiteral("  {");
    auto add = [&](const QString& key, const QString& value) {
        if (!value.isEmpty())
            lines << QStringLiteral("    %1 = %2").arg(key, value);
    };
    add(QStringLiteral("idVendor"), QStringLiteral("0x") + attribute(device, "idVendor"));
    add(QStringLiteral("idProduct"), QStringLiteral("0x") + attribute(device, "idProduct"));
    add(QStringLiteral("Built-In"), attribute(device, "removable") == QLatin1String("fixed") ? QStringLiteral("Yes") : QStringLiteral("No"));
    add(QStringLiteral("USB Vendor Name"), attribute(device, "manufacturer"));
    add(QStringLiteral("USB Product Name"), attribute(device, "product"));
    add(QStringLiteral("USB Serial Number"), attribute(device, "serial"));
    add(QStringLiteral("locationID"), UsbLocationId::toText(b.location));
    add(QStringLiteral("busnum"), attribute(device, "busnum"));
    add(QStringLiteral("devnum"), attribute(device, "devnum"));
    add(QStringLiteral("speed"), attribute(device, "speed"));
    add(QStringLiteral("bDeviceClass"), attribute(device, "bDeviceClass"));
    add(QStringLiteral("bcdDevice"), attribute(device, "bcdDevice"));
    lines << QStringLiteral("  }");
    b.text = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return b;
}

} // namespace

QString UsbPropertyListing::text()
{
    udev* context = udev_new();
    if (!context)
        return {};
    udev_enumerate* enumerate = udev_enumerate_new(context);
    QList<Block> blocks;
    if (enumerate && udev_enumerate_add_match_subsystem(enumerate, "usb") >= 0
        && udev_enumerate_add_match_property(enumerate, "DEVTYPE", "usb_device") >= 0
        && udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
        {
            udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (!device)
                continue;
            blocks.append(describe(device));
            udev_device_unref(device);
        }
    }
    if (enumerate)
        udev_enumerate_unref(enumerate);
    udev_unref(context);
    std::stable_sort(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) { return a.location < b.location; });
    QString listing;
    for (const Block& b : blocks)
        listing += b.text;
    return listing;
}
