#include "MakerDiskSource.h"

#include "ChipLog.h"
#include "MakerProducts.h"
#include "SgSectorReader.h"
#include "UsbDeviceReport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <functional>

MakerDiskSource::MakerDiskSource(ScsiTransport& transport, SystemRoots roots)
    : m_transport(transport)
    , m_roots(std::move(roots))
{
}

QStringList MakerDiskSource::disks()
{
    QStringList found;
    std::function<void(const QVariantList&)> walk = [&](const QVariantList& items) {
        for (const QVariant& v : items) {
            const QVariantMap item = v.toMap();
            walk(item.value(QStringLiteral("_items")).toList());
            if (!item.contains(QStringLiteral("product_id")))
                continue;
            if (!MakerProducts::isMakerDevice(item.value(QStringLiteral("_name")).toString().toLower(),
                                              item.value(QStringLiteral("product_id")).toString(),
                                              item.value(QStringLiteral("vendor_id")).toString()))
                continue;
            for (const QVariant& m : item.value(QStringLiteral("Media")).toList()) {
                const QString bsd = m.toMap().value(QStringLiteral("bsd_name")).toString();
                if (!bsd.isEmpty())
                    found.append(m_roots.dev + QLatin1Char('/') + bsd);
            }
        }
    };
    walk(UsbDeviceReport(m_roots).items());
    return found;
}

std::unique_ptr<SectorReader> MakerDiskSource::open(const QString& disk)
{
    static const QRegularExpression sg(QStringLiteral("^sg\\d+$"));
    const QString block = m_roots.sysfs + QStringLiteral("/class/block/") + QFileInfo(disk).fileName();
    QString node;
    const QDir generic(block + QStringLiteral("/device/scsi_generic"));
    for (const QString& name : generic.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (sg.match(name).hasMatch()) {
            node = m_roots.dev + QLatin1Char('/') + name;
            break;
        }
    }
    if (node.isEmpty()) {
        qCWarning(lcChiplib, "no SCSI generic node for %s", qPrintable(disk));
        return nullptr;
    }
    int error = 0;
    std::unique_ptr<ScsiDeviceHandle> device = m_transport.open(node, &error);
    if (!device) {
        qCWarning(lcChiplib, "open %s: %s", qPrintable(node), std::strerror(error));
        return nullptr;
    }
    const int blockSize =
        SystemRoots::attribute(block + QStringLiteral("/queue"), QStringLiteral("logical_block_size")).toInt();
    return std::make_unique<SgSectorReader>(std::move(device), std::clamp(blockSize, 512, 65536));
}
