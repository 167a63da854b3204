// Times one one-touch-button poll (over the USB devices present, and over four scripted
// devices) and checks that 1,000 polls leave the open file descriptors where they were.
// Run through umockdev-wrapper, it also polls a constructed bus of hubs, other devices and
// four answering drives through libusb: once with a fresh libusb context per poll, once
// with one context kept across polls, as the application's poller does.
#include "BridgeFwUpdate_Lib.h"
#include "LibusbTransport.h"

#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

#ifdef ZORVI_BENCH_UMOCKDEV
#include "UmockdevUsbDevices.h"
#include "UsbfsControlResponder.h"

#include <memory>
#include <vector>
#endif

namespace {

class ScriptedHandle : public UsbDeviceHandle {
public:
    int controlIn(quint8, quint8, quint16, quint16, quint8* data, quint16 length, std::chrono::milliseconds) override
    {
        for (int i = 0; i < length; ++i)
            data[i] = 0xAA;
        return length;
    }
};

class FourDevices : public UsbTransport {
public:
    bool enumerate(QList<UsbDeviceEntry>* devices) override
    {
        devices->clear();
        for (int port = 1; port <= 4; ++port) {
            UsbDeviceEntry e;
            e.vendorId = 0x4d5a;
            e.productId = 0x7000;
            e.busNumber = 1;
            e.ports = {port};
            devices->append(e);
        }
        return true;
    }
    std::unique_ptr<UsbDeviceHandle> open(const UsbDeviceEntry&, int* error) override
    {
        *error = 0;
        return std::make_unique<ScriptedHandle>();
    }
};

qsizetype openFds()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size();
}

template<typename Poll>
double microsPerPoll(int n, Poll poll)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < n; ++i)
        poll();
    return double(timer.nsecsElapsed()) / 1000.0 / n;
}

#ifdef ZORVI_BENCH_UMOCKDEV
// Two buses: root hubs, a hub on each, two input devices that do not answer, and
// four drives (two behind the hubs) whose bridges answer "released".
class ConstructedBus {
public:
    ConstructedBus()
        : testbed_(umockdev_testbed_new())
    {
        for (int bus : {1, 2}) {
            const QByteArray root = "/devices/usb" + QByteArray::number(bus);
            const QByteArray prefix = QByteArray::number(bus) + "-";
            addUsbDevice(testbed_, root, bus, 1, usbDescriptors(0x1d6b, 2, 9));
            addUsbDevice(testbed_, root + "/" + prefix + "1", bus, 2, usbDescriptors(0x05e3, 0x0608, 9));
            addUsbDevice(testbed_, root + "/" + prefix + "2", bus, 3, usbDescriptors(0x046d, 0xc31c + bus, 0));
            addDrive(root + "/" + prefix + "3", bus, 4);
            addDrive(root + "/" + prefix + "1/" + prefix + "1.4", bus, 5);
        }
    }
    ~ConstructedBus()
    {
        for (auto& [node, responder] : drives_)
            responder->detach(testbed_, node.constData());
        g_object_unref(testbed_);
    }
    ConstructedBus(const ConstructedBus&) = delete;
    ConstructedBus& operator=(const ConstructedBus&) = delete;

private:
    static int released(const unsigned char*, unsigned char* data, int length)
    {
        const int n = std::min(length, 4);
        for (int i = 0; i < n; ++i)
            data[i] = i < 2 ? 0x55 : 0;
        return n;
    }
    void addDrive(const QByteArray& sysPath, int bus, int dev)
    {
        const QByteArray node = "/dev/" + usbNode(bus, dev);
        drives_.emplace_back(node, std::make_unique<UsbfsControlResponder>(&ConstructedBus::released));
        drives_.back().second->attach(testbed_, node.constData());
        addUsbDevice(testbed_, sysPath, bus, dev, usbDescriptors(0x4d5a, 0x7000, 0));
    }

    UMockdevTestbed* testbed_;
    std::vector<std::pair<QByteArray, std::unique_ptr<UsbfsControlResponder>>> drives_;
};

void benchConstructedBus()
{
    if (!umockdevPreloaded()) {
        std::printf("constructed bus: skipped (run through umockdev-wrapper)\n");
        return;
    }
    constexpr int kPolls = 200;
    ConstructedBus bus;
    qint32 status[4];
    qint32 location[4];
    qint32 result = BridgeFwUpdate_Lib::GetOTBStatus2(status, location);
    const double fresh = microsPerPoll(kPolls, [&] { result = BridgeFwUpdate_Lib::GetOTBStatus2(status, location); });
    LibusbTransport kept;
    BridgeFwUpdate_Lib::GetOTBStatus2(kept, status, location);
    const qsizetype fdsBefore = openFds();
    const double reused = microsPerPoll(kPolls, [&] { result = BridgeFwUpdate_Lib::GetOTBStatus2(kept, status, location); });
    const qsizetype fdsAfter = openFds();
    int answered = 0;
    for (qint32 s : status)
        answered += s == 6 ? 1 : 0;
    std::printf("constructed bus, 8 devices and 2 root hubs, %d drives answering (result %d):\n", answered, result);
    std::printf("  fresh libusb context per poll: %.1f us per poll\n", fresh);
    std::printf("  one context kept across polls: %.1f us per poll\n", reused);
    std::printf("  open fds before/after %d polls on the kept context: %lld/%lld\n", kPolls, qlonglong(fdsBefore),
                qlonglong(fdsAfter));
}
#endif

} // namespace

int main()
{
    constexpr int kPolls = 1000;
    qint32 status[4];
    qint32 location[4];

    // As the poller once did: a new libusb context for every poll.
    qint32 result = BridgeFwUpdate_Lib::GetOTBStatus2(status, location); // warm-up
    const qsizetype freshBefore = openFds();
    const double fresh = microsPerPoll(kPolls, [&] { result = BridgeFwUpdate_Lib::GetOTBStatus2(status, location); });
    const qsizetype freshAfter = openFds();

    // As the poller does: one context for its life.
    LibusbTransport kept;
    BridgeFwUpdate_Lib::GetOTBStatus2(kept, status, location);
    const qsizetype keptBefore = openFds();
    const double reused = microsPerPoll(kPolls, [&] { result = BridgeFwUpdate_Lib::GetOTBStatus2(kept, status, location); });
    const qsizetype keptAfter = openFds();

    FourDevices fake;
    const double scripted = microsPerPoll(kPolls, [&] { BridgeFwUpdate_Lib::GetOTBStatus2(fake, status, location); });

    std::printf("otb poll, devices present (result %d), fresh libusb context per poll: %.1f us per poll\n", result,
                fresh);
    std::printf("otb poll, devices present, one context kept across polls: %.1f us per poll\n", reused);
    std::printf("otb poll, four scripted devices: %.2f us per poll\n", scripted);
    std::printf("open fds before/after %d polls: %lld/%lld fresh, %lld/%lld kept\n", kPolls, qlonglong(freshBefore),
                qlonglong(freshAfter), qlonglong(keptBefore), qlonglong(keptAfter));
#ifdef ZORVI_BENCH_UMOCKDEV
    benchConstructedBus();
#endif
    if (freshAfter > freshBefore || keptAfter > keptBefore) {
        std::printf("FAIL: file descriptors grew\n");
        return 1;
    }
    return 0;
}
