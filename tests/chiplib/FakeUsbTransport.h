#pragma once

#include "UsbTransport.h"

#include <QList>

#include <array>
#include <stdexcept>

// Scripted devices: each opens or not, answers a reply or an error, or throws.
struct FakeUsbDevice {
    UsbDeviceEntry entry;
    int openError = 0;
    int requestError = 0; // negative: the request fails (-7 is a timeout)
    std::array<quint8, 4> reply{};
    bool throwOnRequest = false;
};

struct FakeRequest {
    quint8 requestType, request;
    quint16 value, index, length;
    std::chrono::milliseconds timeout;
};

class FakeUsbTransport : public UsbTransport {
public:
    QList<FakeUsbDevice> devices;
    bool enumerateFails = false;
    QList<FakeRequest> requests;
    QList<int> opened; // indexes into devices, in open order
    int openHandles = 0;

    FakeUsbDevice& add(quint16 vid, quint16 pid, int bus, QList<int> ports, std::array<quint8, 4> reply = {0x55, 0x55})
    {
        FakeUsbDevice d;
        d.entry.vendorId = vid;
        d.entry.productId = pid;
        d.entry.busNumber = bus;
        d.entry.ports = ports;
        d.entry.serialNumber = QStringLiteral("SN%1").arg(devices.size());
        d.reply = reply;
        devices.append(d);
        return devices.last();
    }

    bool enumerate(QList<UsbDeviceEntry>* out) override
    {
        out->clear();
        for (const FakeUsbDevice& d : devices)
            out->append(d.entry);
        return !enumerateFails;
    }

    std::unique_ptr<UsbDeviceHandle> open(const UsbDeviceEntry& entry, int* error) override
    {
        for (int i = 0; i < devices.size(); ++i) {
            if (devices[i].entry.busNumber != entry.busNumber || devices[i].entry.ports != entry.ports)
                continue;
            opened.append(i);
            *error = devices[i].openError;
            if (*error != 0)
                return nullptr;
            return std::make_unique<Handle>(this, devices[i]);
        }
        *error = -4;
        return nullptr;
    }

private:
    class Handle : public UsbDeviceHandle {
    public:
        Handle(FakeUsbTransport* t, const FakeUsbDevice& d) : m_t(t), m_d(d) { ++m_t->openHandles; }
        ~Handle() override { --m_t->openHandles; }
        int controlIn(quint8 requestType, quint8 request, quint16 value, quint16 index, quint8* data, quint16 length,
                      std::chrono::milliseconds timeout) override
        {
            m_t->requests.append({requestType, request, value, index, length, timeout});
            if (m_d.throwOnRequest)
                throw std::runtime_error("device gone");
            if (m_d.requestError < 0)
                return m_d.requestError;
            for (int i = 0; i < 4 && i < length; ++i)
                data[i] = m_d.reply[size_t(i)];
            return 4;
        }

    private:
        FakeUsbTransport* m_t;
        FakeUsbDevice m_d;
    };
};
