// Times one one-touch-button poll (over the USB devices present, and over four scripted
// devices) and checks that 1,000 polls leave the open file descriptors where they were.
#include "BridgeFwUpdate_Lib.h"

#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

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

} // namespace

int main()
{
    constexpr int kPolls = 1000;
    qint32 status[4];
    qint32 location[4];

    qint32 result = BridgeFwUpdate_Lib::GetOTBStatus2(status, location); // warm-up
    const qsizetype fdsBefore = openFds();
    const double real = microsPerPoll(kPolls, [&] { result = BridgeFwUpdate_Lib::GetOTBStatus2(status, location); });
    const qsizetype fdsAfter = openFds();

    FourDevices fake;
    const double scripted = microsPerPoll(kPolls, [&] { BridgeFwUpdate_Lib::GetOTBStatus2(fake, status, location); });

    std::printf("otb poll, devices present (result %d): %.1f us per poll\n", result, real);
    std::printf("otb poll, four scripted devices: %.2f us per poll\n", scripted);
    std::printf("open fds before/after %d polls: %lld/%lld\n", kPolls, qlonglong(fdsBefore), qlonglong(fdsAfter));
    if (fdsAfter > fdsBefore) {
        std::printf("FAIL: file descriptors grew\n");
        return 1;
    }
    return 0;
}
