#pragma once

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>

// Runs what is already queued on this thread (posted calls, due timers, socket notices,
// deferred deletes) until nothing more comes, without waiting for anything new. A test calls it
// after the answers it waited for, before it checks that nothing more happened.
inline void drainEvents()
{
    for (int round = 0; round < 100; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        if (!dispatcher || !dispatcher->processEvents(QEventLoop::AllEvents))
            break;
    }
}
