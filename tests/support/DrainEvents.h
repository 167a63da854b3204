#pragma once

#include <QCoreApplication>
#include <QTest>

#include <memory>

// Runs what is already queued for the GUI thread: waits for a marker queued behind it, where
// a sleep would only guess. False when the marker did not run in time.
inline bool drainEvents(int timeoutMs = 5000)
{
    auto done = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(QCoreApplication::instance(), [done] { *done = true; }, Qt::QueuedConnection);
    return QTest::qWaitFor([done] { return *done; }, timeoutMs);
}
