#include "LibusbTransport.h"

#include "UsbLocationId.h"

#include <QFile>

#include <libusb.h>

#include <algorithm>

namespace {

class LibusbDeviceHandle : public UsbDeviceHandle {
public:
    explicit LibusbDeviceHandle(libusb_device_handle* handle) : m_handle(handle) {}
    ~LibusbDeviceHandle() override { libusb_close(m_handle); }

    int controlIn(quint8 requestType, quint8 request, quint16 value, quint16 index, quint8* data, quint16 length,
                  std::chrono::milliseconds timeout) override
    {
        // libusb reads a zero timeout as "wait for ever"; a silent device must not hang the poll.
        if (timeout.count() <= 0)
            return LIBUSB_ERROR_INVALID_PARAM;
        return libusb_control_transfer(m_handle, requestType | LIBUSB_ENDPOINT_IN, request, value, index, data,
                                       length, unsigned(timeout.count()));
    }

private:
    libusb_device_handle* m_handle;
};

QList<int> portsOf(libusb_device* device)
{
    uint8_t numbers[8];
    const int n = libusb_get_port_numbers(device, numbers, int(sizeof numbers));
    QList<int> ports;
    for (int i = 0; i < n; ++i)
        ports.append(numbers[i]);
    return ports;
}

QString sysfsName(int bus, const QList<int>& ports)
{
    QStringList parts;
    for (int p : ports)
        parts.append(QString::number(p));
    return QString::number(bus) + QLatin1Char('-') + parts.join(QLatin1Char('.'));
}

QString sysfsText(const QString& name, const char* attribute)
{
    QFile f(QStringLiteral("/sys/bus/usb/devices/%1/%2").arg(name, QLatin1String(attribute)));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).trimmed();
}

} // namespace

LibusbTransport::LibusbTransport()
{
    m_initError = libusb_init(&m_context);
    if (m_initError != 0)
        m_context = nullptr;
}

LibusbTransport::~LibusbTransport()
{
    releaseListed();
    if (m_context)
        libusb_exit(m_context);
}

void LibusbTransport::releaseListed()
{
    if (m_listed)
        libusb_free_device_list(m_listed, 1);
    m_listed = nullptr;
    m_listedCount = 0;
}

bool LibusbTransport::enumerate(QList<UsbDeviceEntry>* devices)
{
    devices->clear();
    releaseListed();
    if (!m_context)
        return false;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(m_context, &list);
    if (count < 0)
        return false;
    m_listed = list;
    m_listedCount = count;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != 0)
            continue;
        UsbDeviceEntry e;
        e.busNumber = libusb_get_bus_number(list[i]);
        e.ports = portsOf(list[i]);
        if (e.ports.isEmpty())
            continue;
        e.vendorId = desc.idVendor;
        e.productId = desc.idProduct;
        const QString name = sysfsName(e.busNumber, e.ports);
        e.vendorName = sysfsText(name, "manufacturer");
        e.productName = sysfsText(name, "product");
        e.serialNumber = sysfsText(name, "serial");
        e.builtIn = sysfsText(name, "removable") == QLatin1String("fixed");
        devices->append(e);
    }
    // libusb lists in no fixed order; by location keeps slots stable between polls.
    std::stable_sort(devices->begin(), devices->end(), [](const UsbDeviceEntry& a, const UsbDeviceEntry& b) {
        return UsbLocationId::fromPorts(a.busNumber, a.ports) < UsbLocationId::fromPorts(b.busNumber, b.ports);
    });
    return true;
}

std::unique_ptr<UsbDeviceHandle> LibusbTransport::open(const UsbDeviceEntry& device, int* error)
{
    *error = LIBUSB_ERROR_NO_DEVICE;
    if (!m_context)
        return nullptr;
    if (!m_listed) {
        QList<UsbDeviceEntry> ignored;
        if (!enumerate(&ignored))
            return nullptr;
    }
    libusb_device_handle* handle = nullptr;
    for (qsizetype i = 0; i < m_listedCount; ++i) {
        if (libusb_get_bus_number(m_listed[i]) != device.busNumber || portsOf(m_listed[i]) != device.ports)
            continue;
        *error = libusb_open(m_listed[i], &handle);
        break;
    }
    if (!handle)
        return nullptr;
    *error = 0;
    return std::make_unique<LibusbDeviceHandle>(handle);
}
