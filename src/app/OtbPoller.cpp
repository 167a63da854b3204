#include "OtbPoller.h"

#include "BridgeFwUpdate_Lib.h"
#include "DispatchQueue.h"
#include "DispatchTimer.h"
#include "LibusbTransport.h"
#include "MakerProducts.h"

#include <QHash>
#include <QLoggingCategory>
#include <QMutex>
#include <QPointer>

// Four lines every 300 ms: off unless asked for.
Q_LOGGING_CATEGORY(lcOtbPoll, "zorvi.otb.poll", QtWarningMsg)

namespace {

constexpr int kPressed = 5;

DispatchQueue& pollQueue()
{
    return DispatchQueue::serial(QStringLiteral("com.domain.app.otbTimer"));
}

bool isMakerDevice(const UsbDeviceEntry& device)
{
    return MakerProducts::vendorIds().contains(device.vendorId);
}

} // namespace

// Touched on the polling thread only, apart from the reader, which the mutex guards.
struct OtbPoller::Shared {
    QMutex mutex;
    Reader reader; // none: the drives through libusb
    // One libusb context for the poller's life: made by the first poll, let go on the
    // polling thread when the poller goes.
    std::unique_ptr<LibusbTransport> usb;
    QHash<qint32, qint32> lastState; // by location ID
    bool accessProblem = false;

    Reading read()
    {
        Reader scripted;
        {
            QMutexLocker lock(&mutex);
            scripted = reader;
        }
        if (scripted)
            return scripted();
        if (!usb)
            usb = std::make_unique<LibusbTransport>();
        Reading r;
        r.result = BridgeFwUpdate_Lib::GetOTBStatus2(*usb, r.status, r.locationID, &r.unopened);
        // The USB stack could not be reached: the next poll tries a new context.
        if (r.result < 0)
            usb.reset();
        return r;
    }
};

OtbPoller::OtbPoller(QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<Shared>())
{
}

OtbPoller::~OtbPoller()
{
    stop();
    // Let go of the context after a poll that may still be running, and on its thread.
    if (started_)
        pollQueue().async([shared = std::move(shared_)]() mutable { shared.reset(); });
}

void OtbPoller::setReader(Reader reader)
{
    QMutexLocker lock(&shared_->mutex);
    shared_->reader = std::move(reader);
}

QString OtbPoller::accessProblemText()
{
    return tr("Zorvi has no permission to read the one-touch button of the attached drive. "
              "Install the drive rule that comes with Zorvi (see the README), then plug the drive in again.");
}

void OtbPoller::start(int intervalMs)
{
    stop();
    started_ = true;
    timer_ = std::make_unique<DispatchTimer>(pollQueue());
    std::weak_ptr<Shared> weak = shared_;
    QPointer<OtbPoller> self(this);
    timer_->setHandler([weak, self]() {
        const std::shared_ptr<Shared> s = weak.lock();
        if (!s)
            return;
        const Reading r = s->read();

        QHash<qint32, qint32> seen;
        QList<quint32> presses;
        for (int i = 0; i < 4; ++i) {
            qCDebug(lcOtbPoll, "otb:%d, id:%d, errorCode:%d", r.status[i], r.locationID[i], r.result);
            if (r.locationID[i] == 0)
                continue;
            if (r.status[i] == kPressed && s->lastState.value(r.locationID[i], 0) != kPressed)
                presses << quint32(r.locationID[i]);
            seen.insert(r.locationID[i], r.status[i]);
        }
        // A drive that stops answering is forgotten, so its next press after it returns counts.
        s->lastState = seen;

        bool denied = false;
        for (const UsbDeviceEntry& device : r.unopened)
            denied = denied || isMakerDevice(device);
        const bool problemChanged = denied != s->accessProblem;
        if (problemChanged && denied)
            qWarning().noquote() << "One-touch button: cannot open the drive's USB device" << "(no permission)";
        s->accessProblem = denied;

        if (presses.isEmpty() && !problemChanged)
            return;
        DispatchQueue::main().async([self, presses, problemChanged, denied]() {
            if (!self)
                return;
            if (problemChanged)
                Q_EMIT self->accessProblemChanged(denied ? accessProblemText() : QString());
            for (quint32 id : presses) {
                if (!self)
                    return;
                Q_EMIT self->pressed(id);
            }
        });
    });
    timer_->schedule(std::chrono::milliseconds(0), std::chrono::milliseconds(intervalMs));
    timer_->resume();
}

void OtbPoller::stop()
{
    if (timer_) {
        timer_->cancel();
        timer_.reset();
    }
}

bool OtbPoller::isRunning() const { return timer_ != nullptr; }
