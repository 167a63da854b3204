#include "DriveDiscovery.h"

#include "DiskInfoReport.h"
#include "DispatchQueue.h"
#include "MakerProducts.h"
#include "UsbDeviceReport.h"
#include "XMLHandler.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>

// What each pass found: for whoever follows the discovery
// (QT_LOGGING_RULES="zorvi.devices.discovery.debug=true").
Q_LOGGING_CATEGORY(lcDriveDiscovery, "zorvi.devices.discovery", QtInfoMsg)

namespace {

bool isText(const QVariant& v) { return v.typeId() == QMetaType::QString; }

// Present only with the expected type: a list whose every element is a dictionary.
std::optional<QList<QVariantMap>> dictArray(const QVariantMap& map, const QString& key)
{
    const QVariant v = map.value(key);
    if (v.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    QList<QVariantMap> out;
    for (const QVariant& e : v.toList()) {
        if (e.typeId() != QMetaType::QVariantMap)
            return std::nullopt;
        out.append(e.toMap());
    }
    return out;
}

std::optional<QString> text(const QVariantMap& map, const QString& key)
{
    const QVariant v = map.value(key);
    if (!isText(v))
        return std::nullopt;
    return v.toString();
}

// What "grep -e Space -e Point -e Personality" keeps.
QStringList detailLines(const QString& infoText)
{
    QStringList out;
    for (const QString& line : infoText.split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("Space")) || line.contains(QLatin1String("Point"))
            || line.contains(QLatin1String("Personality")))
            out << line;
    }
    return out;
}

void printLine(const QString& line)
{
    qCDebug(lcDriveDiscovery).noquote() << line;
}

} // namespace

DriveDiscovery::DriveDiscovery(QObject* parent)
    : QObject(parent)
    , retryTimer_(new QTimer(this))
{
    retryTimer_->setSingleShot(true);
    connect(retryTimer_, &QTimer::timeout, this, [this] { startPass(retryTag_); });
}

void DriveDiscovery::refresh(int senderTag)
{
    retryTimer_->stop();
    retryCount_ = 0;
    startPass(senderTag);
}

void DriveDiscovery::startPass(int senderTag)
{
    setBusy(true);
    const quint64 generation = ++generation_;
    const QStringList before = readRejectedList();
    const SystemRoots roots = roots_;
    QPointer<DriveDiscovery> self(this);
    // The report walks sysfs and statvfs()es every volume: a slow drive must not freeze the window.
    DispatchQueue::background().async([self, generation, senderTag, before, roots] {
        QStringList rejected = before;
        const QList<Record> records = runPass(roots, rejected);
        DispatchQueue::main().async([self, generation, senderTag, records, rejected, before] {
            if (self && self->generation_ == generation)
                self->passDone(senderTag, records, rejected, before);
        });
    });
}

void DriveDiscovery::passDone(int senderTag, const QList<Record>& records, const QStringList& rejected,
                              const QStringList& before)
{
    if (rejected != before) {
        // Entries only ever join the list: merge with what another pass may have stored.
        QStringList merged = readRejectedList();
        for (const QString& key : rejected) {
            if (!merged.contains(key))
                merged << key;
        }
        storeRejectedList(merged);
    }
    printLine(QStringLiteral("device: %1, should: %2").arg(records.size()).arg(deviceShouldHave_));
    Q_EMIT passFinished(int(records.size()));

    if (senderTag != kNoRetryTag && deviceShouldHave_ >= 1 && records.size() < deviceShouldHave_
        && retryCount_ < kMaxRetries) {
        ++retryCount_;
        retryTag_ = senderTag;
        retryTimer_->start(retryIntervalMs_);
        return;
    }
    retryCount_ = 0;
    deviceArray_ = records;
    setBusy(false);
    Q_EMIT finished();
}

void DriveDiscovery::setBusy(bool busy)
{
    if (busy_ == busy)
        return;
    busy_ = busy;
    Q_EMIT busyChanged(busy);
}

QList<DriveDiscovery::Record> DriveDiscovery::runPass(const SystemRoots& roots, QStringList& rejected)
{
    XMLHandler parser;
    const QList<QVariantMap> items = parser.parseData(UsbDeviceReport(roots).xml());
    const QList<QVariantMap> kept = filterDeviceItems(items, rejected);
    const DiskInfoReport disks(roots);

    QList<Record> records;
    QStringList taken;
    for (const QVariantMap& device : kept) {
        const auto manufacturer = text(device, QStringLiteral("manufacturer"));
        const auto media = dictArray(device, QStringLiteral("Media"));
        const auto locationId = text(device, QStringLiteral("location_id"));
        if (!manufacturer || !media || !locationId)
            continue;
        const QString location = locationId->section(QStringLiteral(" / "), 0, 0);
        for (const QVariantMap& medium : *media) {
            const auto volumes = dictArray(medium, QStringLiteral("volumes"));
            if (!volumes)
                continue;
            for (const QVariantMap& volume : *volumes) {
                const auto bsd = text(volume, QStringLiteral("bsd_name"));
                if (!bsd || taken.contains(*bsd))
                    continue;
                if (text(volume, QStringLiteral("mount_point"))) {
                    if (auto record = readVolumeInfo(disks.info(*bsd), *bsd, *manufacturer, location)) {
                        records << *record;
                        taken << *bsd;
                        continue;
                    }
                }
                const auto content = text(volume, QStringLiteral("iocontent"));
                if (content && content->toUpper().contains(QLatin1String("APFS"))) {
                    const QString apfs = findApfsVolume(disks, *bsd);
                    if (apfs.isEmpty())
                        continue;
                    if (auto record = readVolumeInfo(disks.info(apfs), apfs, *manufacturer, location)) {
                        records << *record;
                        taken << apfs;
                    }
                }
            }
        }
    }
    return records;
}

QList<QVariantMap> DriveDiscovery::filterDeviceItems(const QList<QVariantMap>& items, QStringList& rejected)
{
    QList<QVariantMap> result;
    for (const QVariantMap& item : items) {
        if (const auto children = dictArray(item, QStringLiteral("_items")))
            result << filterDeviceItems(*children, rejected);
        const auto name = text(item, QStringLiteral("_name"));
        const auto productId = text(item, QStringLiteral("product_id"));
        const auto vendorId = text(item, QStringLiteral("vendor_id"));
        if (!name || !productId || !vendorId)
            continue;  // host controllers and the report's top entry
        const QString lower = name->toLower();
        const QString key = lower + *productId + *vendorId;
        if (rejected.contains(key))
            continue;
        if (MakerProducts::isMakerDevice(lower, *productId, *vendorId))
            result << item;
        else
            rejected << key;
    }
    return result;
}

std::optional<DriveDiscovery::Record> DriveDiscovery::readVolumeInfo(const QString& infoText, const QString& id,
                                                                      const QString& manufacturer,
                                                                      const QString& location)
{
    Record record;
    record.insert(QStringLiteral("id"), id);
    QString totalText;
    QString usedText;
    for (const QString& line : detailLines(infoText)) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString key = line.left(colon);
        // Everything after the key: a mount point may itself hold ":".
        QString value = line.mid(colon + 1);
        int start = 0;
        while (start < value.size() && (value.at(start) == QLatin1Char(' ') || value.at(start) == QLatin1Char('\t')))
            ++start;
        value = value.mid(start);
        if (key.contains(QLatin1String("Mount Point"))) {
            record.insert(QStringLiteral("mountPoint"), value);
            record.insert(QStringLiteral("path"), value.section(QLatin1Char('/'), -1));
        }
        if (key.contains(QLatin1String("File System Personality")))
            record.insert(QStringLiteral("system"), QString(value).remove(QLatin1Char(' ')));
        if (key.contains(QLatin1String("Total Space"))) {
            record.insert(QStringLiteral("total"), formatVolumeSize(value));
            totalText = value;
        }
        if (key.contains(QLatin1String("Used Space"))) {
            record.insert(QStringLiteral("used"), formatVolumeSize(value));
            usedText = value;
        }
        if (key.contains(QLatin1String("Free Space")) || key.contains(QLatin1String("Available Space")))
            record.insert(QStringLiteral("free"), formatVolumeSize(value));
    }
    record.insert(QStringLiteral("remain"), usedPercentText(usedText, totalText));
    record.insert(QStringLiteral("manu"), manufacturer);
    record.insert(QStringLiteral("location"), location);
    if (!record.contains(QStringLiteral("path")))
        return std::nullopt;
    return record;
}

QString DriveDiscovery::findApfsVolume(const DiskInfoReport& disks, const QString& physicalStore)
{
    QString containerLines;
    for (const QString& line : disks.info(physicalStore).split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("Container")))
            containerLines += line + QLatin1Char('\n');
    }
    const QString container = containerLines.section(QLatin1Char(':'), -1).trimmed();
    if (container.isEmpty())
        return {};
    QString volumeLines;
    for (const QString& line : disks.list(container).split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("Volume")))
            volumeLines += line + QLatin1Char('\n');
    }
    return volumeLines.split(QLatin1Char(' ')).last().remove(QLatin1Char('\n'));
}

bool DriveDiscovery::byteCount(const QString& value, double* bytes)
{
    if (value.isNull())
        return false;
    const QString exact = value.section(QStringLiteral(" Bytes"), 0, 0).section(QStringLiteral(" ("), -1);
    // The whole text must be a plain decimal number: no blanks, no "0x", no "inf".
    static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    if (!number.match(exact).hasMatch())
        return false;
    bool ok = false;
    *bytes = exact.toDouble(&ok);
    return ok;
}

QString DriveDiscovery::formatVolumeSize(const QString& value)
{
    double size = 0;
    if (!byteCount(value, &size))
        size = 0;
    if (size < 1000)
        return QString::asprintf("%.f B", size);
    size /= 1000;
    if (size < 1000)
        return QString::asprintf("%.2f KB", size);
    size /= 1000;
    if (size < 1000)
        return QString::asprintf("%.2f MB", size);
    size /= 1000;
    if (size < 1000)
        return QString::asprintf("%.2f GB", size);
    return QString::asprintf("%.2f TB", size / 1000);
}

QString DriveDiscovery::usedPercentText(const QString& usedValue, const QString& totalValue)
{
    double used = 0;
    double total = 0;
    if (!byteCount(usedValue, &used))
        used = 0;
    if (!byteCount(totalValue, &total) || !(total > 0))
        return QStringLiteral("0 %");
    return QString::asprintf("%.2f %%", used / total * 100.0);
}

QStringList DriveDiscovery::readRejectedList()
{
    const QVariant v = QSettings().value(rejectedListKey());
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList();
    if (v.typeId() != QMetaType::QVariantList)
        return {};
    QStringList out;
    for (const QVariant& e : v.toList()) {
        if (!isText(e))
            return {};
        out << e.toString();
    }
    return out;
}

void DriveDiscovery::storeRejectedList(const QStringList& list)
{
    // Stored as a list even with one entry, so it reads back as one.
    QVariantList values;
    for (const QString& s : list)
        values << s;
    QSettings().setValue(rejectedListKey(), values);
}
