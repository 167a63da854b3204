#pragma once

#include "UsbTransport.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class DispatchTimer;

// Reads the drives' one-touch buttons on the serial queue "com.domain.app.otbTimer" and
// reports presses on the GUI thread.
//
// A press is a slot's change into "pressed", not the state: a button held across polls, or
// still reported pressed after a run, starts nothing more. What each location reported last
// is kept across stop() and start(), so restarting the polling does not replay a press.
class OtbPoller : public QObject {
    Q_OBJECT
public:
    struct Reading {
        qint32 result = 0;
        qint32 status[4] {};
        qint32 locationID[4] {};
        QList<UsbDeviceEntry> unopened; // devices that could not be opened
    };
    using Reader = std::function<Reading()>;

    explicit OtbPoller(QObject* parent = nullptr);
    ~OtbPoller() override;

    // Tests answer for the drives; runs on the polling thread. None reads them through
    // libusb, with one context kept for the poller's life.
    void setReader(Reader reader);

    // Cancels a running timer before starting the new one, so two never poll at once.
    void start(int intervalMs);
    void stop();
    bool isRunning() const;

    // The user-facing explanation when a maker drive's USB device cannot be opened.
    static QString accessProblemText();

Q_SIGNALS:
    void pressed(quint32 locationId);
    // Empty when the buttons can be read again.
    void accessProblemChanged(const QString& text);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<DispatchTimer> timer_;
    bool started_ = false;
};
