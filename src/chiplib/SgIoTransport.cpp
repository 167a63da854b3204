#include "SgIoTransport.h"

#include "MakerProducts.h"
#include "UsbLocationId.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

class SgIoHandle : public ScsiDeviceHandle {
public:
    explicit SgIoHandle(int fd)
        : m_fd(fd)
    {
    }
    ~SgIoHandle() override { ::close(m_fd); }
    SgIoHandle(const SgIoHandle&) = delete;
    SgIoHandle& operator=(const SgIoHandle&) = delete;

    int sgIo(sg_io_hdr_t& header) override
    {
        // Not retried on EINTR: the command may already have reached the chip.
        return ::ioctl(m_fd, SG_IO, &header) < 0 ? -errno : 0;
    }

private:
    int m_fd;
};

// Sub-folders of dir whose names match, in natural order ("host2" before "host10").
QStringList children(const QString& dir, const QRegularExpression& pattern)
{
    QStringList names;
    for (const QString& name : QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        if (pattern.match(name).hasMatch())
            names.append(name);
    }
    static const QRegularExpression nonDigits(QStringLiteral("\\D+"));
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const QStringList pa = a.split(nonDigits, Qt::SkipEmptyParts);
        const QStringList pb = b.split(nonDigits, Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < std::min(pa.size(), pb.size()); ++i) {
            if (pa.at(i).toInt() != pb.at(i).toInt())
                return pa.at(i).toInt() < pb.at(i).toInt();
        }
        return pa.size() < pb.size();
    });
    return names;
}

} // namespace

SgIoTransport::SgIoTransport(SystemRoots roots)
    : m_roots(std::move(roots))
{
}

bool SgIoTransport::driverLoaded()
{
    return QFileInfo(m_roots.sysfs + QStringLiteral("/class/scsi_generic")).isDir();
}

QString SgIoTransport::genericNode(const QString& lunDir) const
{
    static const QRegularExpression sg(QStringLiteral("^sg\\d+$"));
    const QStringList nodes = children(lunDir + QStringLiteral("/scsi_generic"), sg);
    return nodes.isEmpty() ? QString() : m_roots.dev + QLatin1Char('/') + nodes.first();
}

QString SgIoTransport::firstGenericNode(const QString& usbDir, const QString& usbName) const
{
    static const QRegularExpression host(QStringLiteral("^host\\d+$"));
    static const QRegularExpression target(QStringLiteral("^target\\d+:\\d+:\\d+$"));
    static const QRegularExpression lun(QStringLiteral("^\\d+:\\d+:\\d+:\\d+$"));
    const QRegularExpression iface(QStringLiteral("^%1:\\d+\\.\\d+$").arg(QRegularExpression::escape(usbName)));
    for (const QString& i : children(usbDir, iface)) {
        for (const QString& h : children(usbDir + QLatin1Char('/') + i, host)) {
            const QString hostDir = usbDir + QLatin1Char('/') + i + QLatin1Char('/') + h;
            for (const QString& t : children(hostDir, target)) {
                for (const QString& l : children(hostDir + QLatin1Char('/') + t, lun)) {
                    const QString node = genericNode(hostDir + QLatin1Char('/') + t + QLatin1Char('/') + l);
                    if (!node.isEmpty())
                        return node;
                }
            }
        }
    }
    return {};
}

QList<ScsiBridgeNode> SgIoTransport::bridges()
{
    static const QRegularExpression device(QStringLiteral("^\\d+-\\d+(\\.\\d+)*$"));

    QList<ScsiBridgeNode> found;
    const QString usbDir = m_roots.sysfs + QStringLiteral("/bus/usb/devices");
    for (const QString& name : QDir(usbDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        if (!device.match(name).hasMatch())
            continue;
        const QString dir = QFileInfo(usbDir + QLatin1Char('/') + name).canonicalFilePath();
        if (dir.isEmpty())
            continue;
        // Recognised as drive discovery does, so both agree on what a maker drive is.
        QString product = SystemRoots::attribute(dir, QStringLiteral("product"));
        if (product.isEmpty())
            product = m_roots.udevProperty('c', SystemRoots::attribute(dir, QStringLiteral("dev")),
                                           QStringLiteral("ID_MODEL"));
        const QString productId = QStringLiteral("0x") + SystemRoots::attribute(dir, QStringLiteral("idProduct"));
        const QString vendorId = QStringLiteral("0x") + SystemRoots::attribute(dir, QStringLiteral("idVendor"));
        if (!MakerProducts::isMakerDevice(product.toLower(), productId.toLower(), vendorId.toLower()))
            continue;

        const QString node = firstGenericNode(dir, name);
        if (node.isEmpty())
            continue;
        const int bus = SystemRoots::attribute(dir, QStringLiteral("busnum")).toInt();
        const QString devpath = SystemRoots::attribute(dir, QStringLiteral("devpath"));
        found.append({ node, bus > 0 && !devpath.isEmpty() ? UsbLocationId::fromSysfs(bus, devpath) : UsbLocationId::fromSyspath(name) });
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const ScsiBridgeNode& a, const ScsiBridgeNode& b) { return a.locationId < b.locationId; });
    return found;
}

std::unique_ptr<ScsiDeviceHandle> SgIoTransport::open(const QString& devnode, int* error)
{
    // SG_IO on a node opened read-only is limited to a few read commands; vendor commands need write access.
    const int fd = ::open(QFile::encodeName(devnode).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    *error = 0;
    return std::make_unique<SgIoHandle>(fd);
}
