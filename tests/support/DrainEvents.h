#pragma once

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>

#include <memory>

// Runs what is already queued on the GUI thread (posted calls, due timers, socket notices,
// deferred deletes) until nothing more comes, without waiting for anything new: a marker queued
// behind it is waited for, where a sleep would only guess. A test calls it after the answers it
// waited for, before it checks that nothing more happened. False when the marker did not run.
inline bool drainEvents(int timeoutMs = 5000)
{
    auto done = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(QCoreApplication::instance(), [done] { *done = true; }, Qt::QueuedConnection);
    const QDeadlineTimer deadline(timeoutMs);
    while (!*done && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    for (int round = 0; round < 100; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        if (!dispatcher || !dispatcher->processEvents(QEventLoop::AllEvents))
            break;
    }
    return *done;
}
