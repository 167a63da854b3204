#include "UsbDeviceTracker.h"

#include "DeviceListPage.h"
#include "GoogleReporter.h"
#include "MakerProducts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTimer>

// Arrivals, removals and the drive count: for whoever follows the tracking
// (QT_LOGGING_RULES="zorvi.usb.tracking.debug=true"), not for a person starting the program.
Q_LOGGING_CATEGORY(lcUsbTracking, "zorvi.usb.tracking", QtInfoMsg)

namespace {

void printLine(const QString& line)
{
    qCDebug(lcUsbTracking).noquote() << line;
}

QString displayName(const UsbDeviceInfo& device)
{
    return device.name.isEmpty() ? QStringLiteral("<unknown>") : device.name;
}

} // namespace

UsbDeviceTracker::UsbDeviceTracker(QObject* parent)
    : QObject(parent)
{
}

void UsbDeviceTracker::setDeviceListPage(DeviceListPage* page)
{
    page_ = page;
    pageObject_ = dynamic_cast<QObject*>(page);
    pageIsObject_ = pageObject_ != nullptr;
}

DeviceListPage* UsbDeviceTracker::livePage() const
{
    if (pageIsObject_ && !pageObject_)
        return nullptr;
    return page_;
}

bool UsbDeviceTracker::isMakerDevice(const UsbDeviceInfo& device)
{
    return MakerProducts::isMakerDevice(device.name.toLower(), MakerProducts::idText(device.productId),
                                        MakerProducts::idText(device.vendorId));
}

QString UsbDeviceTracker::modelName(const QString& deviceName)
{
    QString out;
    for (const QChar c : deviceName) {
        if (c.category() != QChar::Other_Control && c != QChar::LineSeparator && c != QChar::ParagraphSeparator)
            out += c;
    }
    return out.trimmed().toLower();
}

void UsbDeviceTracker::deviceAdded(const UsbDeviceInfo& device)
{
    const QString name = device.name.isEmpty() ? QStringLiteral("<unknown>") : modelName(device.name);
    if (MakerProducts::nameMatches(name) && !name.isEmpty() && !isModelRecorded(name)) {
        recordModel(name);
        if (!modelList_.contains(name))
            modelList_ << name;
    }
    if (stopOtbPolling_)
        stopOtbPolling_();
    // A set by syspath: a device reported twice, or a removal that was missed and
    // re-reported, cannot push the count off.
    if (isMakerDevice(device) && !device.syspath.isEmpty())
        makerDevices_.insert(device.syspath);
    scheduleRefresh(kArrivalDelayMs, kArrivalTag);
    printLine(QStringLiteral("device added: ") + name);
}

void UsbDeviceTracker::deviceRemoved(const UsbDeviceInfo& device)
{
    if (stopOtbPolling_)
        stopOtbPolling_();
    makerDevices_.remove(device.syspath);
    scheduleRefresh(kRemovalDelayMs, kRemovalTag);
    printLine(QStringLiteral("device removed: ") + displayName(device));
}

void UsbDeviceTracker::scheduleRefresh(int delayMs, int tag)
{
    QTimer::singleShot(delayMs, this, [this, tag] {
        const int count = usbShouldConnected();
        // The removal's line has always been spelt this way; log readers match on it.
        printLine((tag == kRemovalTag ? QStringLiteral("usbShouldConnectec: ") : QStringLiteral("usbShouldConnected: "))
                  + QString::number(count));
        if (DeviceListPage* page = livePage()) {
            page->setDeviceShouldHave(count);
            page->refreshDeviceList(tag);
        }
        Q_EMIT refreshed(count, tag);
    });
}

void UsbDeviceTracker::reportUsedProducts()
{
    for (; reported_ < modelList_.size(); ++reported_)
        GoogleReporter::shared().event(QStringLiteral("Used Product"), modelList_.at(reported_), QString());
}

QString UsbDeviceTracker::modelListPath()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        return {};
    return documents + QStringLiteral("/MorvantekZorvi/model.txt");
}

bool UsbDeviceTracker::isModelRecorded(const QString& name)
{
    const QString path = modelListPath();
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Whole lines: a shorter name inside a longer one is a different model.
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    return lines.contains(modelName(name));
}

bool UsbDeviceTracker::recordModel(const QString& name)
{
    const QString path = modelListPath();
    const QString line = modelName(name);
    if (path.isEmpty() || line.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    // A file that lost its last line feed would glue this name to the previous one.
    if (file.size() > 0) {
        QFile reader(path);
        if (reader.open(QIODevice::ReadOnly) && reader.seek(file.size() - 1) && reader.read(1) != "\n")
            file.write("\n");
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    return file.write(bytes) == bytes.size() && file.flush();
}
