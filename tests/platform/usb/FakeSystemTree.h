#pragma once

// A fake /sys, mount table and udev database in a temporary folder, for the device
// reports. Header-only so other test folders can build the same tree.
#include "SystemRoots.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

class FakeSystemTree {
public:
    FakeSystemTree()
    {
        QDir(dir_.path()).mkpath(QStringLiteral("sys/bus/usb/devices"));
        QDir(dir_.path()).mkpath(QStringLiteral("sys/class/block"));
        QDir(dir_.path()).mkpath(QStringLiteral("udev"));
        QDir(dir_.path()).mkpath(QStringLiteral("media"));
    }

    SystemRoots roots() const
    {
        SystemRoots r;
        r.sysfs = path(QStringLiteral("sys"));
        r.mountinfo = path(QStringLiteral("mountinfo"));
        r.dev = QStringLiteral("/dev");
        r.udevData = path(QStringLiteral("udev"));
        return r;
    }

    QString path(const QString& relative) const { return dir_.path() + QLatin1Char('/') + relative; }

    // A folder under sys/devices with attribute files; returns its path relative to sys/.
    QString addDir(const QString& relative, const QMap<QString, QString>& attributes = {})
    {
        const QString rel = QStringLiteral("devices/") + relative;
        QDir().mkpath(path(QStringLiteral("sys/") + rel));
        for (auto it = attributes.cbegin(); it != attributes.cend(); ++it)
            write(QStringLiteral("sys/") + rel + QLatin1Char('/') + it.key(), it.value() + QLatin1Char('\n'));
        return rel;
    }

    QString addUsbDevice(const QString& relative, const QMap<QString, QString>& attributes)
    {
        const QString rel = addDir(relative, attributes);
        const QString name = rel.mid(rel.lastIndexOf(QLatin1Char('/')) + 1);
        QFile::link(path(QStringLiteral("sys/") + rel), path(QStringLiteral("sys/bus/usb/devices/") + name));
        return rel;
    }

    QString addBlock(const QString& relative, const QMap<QString, QString>& attributes)
    {
        const QString rel = addDir(relative, attributes);
        const QString name = rel.mid(rel.lastIndexOf(QLatin1Char('/')) + 1);
        QFile::link(path(QStringLiteral("sys/") + rel), path(QStringLiteral("sys/class/block/") + name));
        return rel;
    }

    void link(const QString& fromRelative, const QString& target)
    {
        QFile::link(target, path(fromRelative));
    }

    // A real folder to stand for a mount point (statvfs works on it).
    QString mountFolder(const QString& name)
    {
        const QString p = path(QStringLiteral("media/") + name);
        QDir().mkpath(p);
        return p;
    }

    void addMount(const QString& majorMinor, const QString& mountPoint, const QString& fsType, const QString& source,
                  const QString& root = QStringLiteral("/"))
    {
        mountinfo_ += QStringLiteral("%1 25 %2 %3 %4 rw,nosuid,nodev,relatime shared:1 - %5 %6 rw\n")
                          .arg(40 + mountinfo_.count(QLatin1Char('\n')))
                          .arg(majorMinor, escape(root), escape(mountPoint), fsType, source);
        write(QStringLiteral("mountinfo"), mountinfo_);
    }

    void setUdev(const QString& id, const QMap<QString, QString>& properties)
    {
        QString text;
        for (auto it = properties.cbegin(); it != properties.cend(); ++it)
            text += QStringLiteral("E:%1=%2\n").arg(it.key(), it.value());
        write(QStringLiteral("udev/") + id, text);
    }

    void write(const QString& relative, const QString& text)
    {
        QFile f(path(relative));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text.toUtf8());
    }

    static QString escape(QString s)
    {
        s.replace(QLatin1Char('\\'), QStringLiteral("\\134"));
        s.replace(QLatin1Char(' '), QStringLiteral("\\040"));
        s.replace(QLatin1Char('\t'), QStringLiteral("\\011"));
        s.replace(QLatin1Char('\n'), QStringLiteral("\\012"));
        return s;
    }

    // One xHCI root hub (bus 1) with a hub on port 1; behind it, on port 2, a maker drive
    // (sdb) with an exFAT partition mounted at "ZORVI DISK" and a FAT one mounted at
    // "BACKUP"; a keyboard on root port 3; an internal SATA disk (sda) mounted as ext4.
    void buildMakerTree()
    {
        const QString pci = QStringLiteral("pci0000:00/0000:00:14.0");
        addDir(pci, {{"vendor", "0x8086"}, {"device", "0xa36d"}});
        addDir(QStringLiteral("../bus/pci/drivers/xhci_hcd"));
        link(QStringLiteral("sys/devices/") + pci + QStringLiteral("/driver"), path(QStringLiteral("sys/bus/pci/drivers/xhci_hcd")));
        addUsbDevice(pci + QStringLiteral("/usb1"),
                     {{"product", "xHCI Host Controller"}, {"manufacturer", "Linux xhci-hcd"}, {"idVendor", "1d6b"},
                      {"idProduct", "0002"}, {"busnum", "1"}, {"devnum", "1"}, {"devpath", "0"}, {"dev", "189:0"}});
        addUsbDevice(pci + QStringLiteral("/usb1/1-1"),
                     {{"product", "USB2.0 Hub"}, {"idVendor", "05e3"}, {"idProduct", "0608"}, {"busnum", "1"},
                      {"devnum", "2"}, {"devpath", "1"}, {"dev", "189:1"}});
        const QString drive = addUsbDevice(pci + QStringLiteral("/usb1/1-1/1-1.2"),
                     {{"product", "Zorvi Test Disk"}, {"manufacturer", "Morvantek"}, {"idVendor", "4d5a"},
                      {"idProduct", "7000"}, {"serial", "ZV0001"}, {"busnum", "1"}, {"devnum", "3"},
                      {"devpath", "1.2"}, {"dev", "189:2"}});
        addUsbDevice(pci + QStringLiteral("/usb1/1-1/1-1.2/1-1.2:1.0"), {{"bInterfaceClass", "08"}});
        const QString scsi = pci + QStringLiteral("/usb1/1-1/1-1.2/1-1.2:1.0/host6/target6:0:0/6:0:0:0");
        addDir(scsi, {{"model", "Test Disk       "}, {"vendor", "Morvantk"}});
        addBlock(scsi + QStringLiteral("/block/sdb"), {{"dev", "8:16"}, {"size", "62333952"}, {"removable", "0"}});
        link(QStringLiteral("sys/devices/") + scsi + QStringLiteral("/block/sdb/device"), QStringLiteral("../.."));
        addBlock(scsi + QStringLiteral("/block/sdb/sdb1"), {{"dev", "8:17"}, {"size", "62000000"}, {"partition", "1"}});
        addBlock(scsi + QStringLiteral("/block/sdb/sdb2"), {{"dev", "8:18"}, {"size", "300000"}, {"partition", "2"}});
        addUsbDevice(pci + QStringLiteral("/usb1/1-3"),
                     {{"product", "Keyboard"}, {"manufacturer", "Keys Inc"}, {"idVendor", "1234"}, {"idProduct", "5678"},
                      {"busnum", "1"}, {"devnum", "4"}, {"devpath", "3"}, {"dev", "189:3"}});
        const QString sata = QStringLiteral("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0");
        addBlock(sata + QStringLiteral("/block/sda"), {{"dev", "8:0"}, {"size", "1000000"}});
        addBlock(sata + QStringLiteral("/block/sda/sda1"), {{"dev", "8:1"}, {"size", "999000"}, {"partition", "1"}});

        setUdev(QStringLiteral("b8:17"), {{"ID_FS_LABEL", "ZORVI_DISK"}, {"ID_FS_TYPE", "exfat"}});
        addMount(QStringLiteral("8:1"), mountFolder(QStringLiteral("root")), QStringLiteral("ext4"), QStringLiteral("/dev/sda1"));
        addMount(QStringLiteral("8:17"), mountFolder(QStringLiteral("ZORVI DISK")), QStringLiteral("exfat"), QStringLiteral("/dev/sdb1"));
        addMount(QStringLiteral("8:18"), mountFolder(QStringLiteral("BACKUP")), QStringLiteral("vfat"), QStringLiteral("/dev/sdb2"));
        Q_UNUSED(drive);
    }

private:
    QTemporaryDir dir_;
    QString mountinfo_;
};
