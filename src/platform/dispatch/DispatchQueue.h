#pragma once

#include <QString>
#include <atomic>
#include <functional>

class QObject;
class QThread;

// Where a block of work runs.
//  - main():       the GUI thread (queued onto qApp's event loop);
//  - background(): the global QThreadPool;
//  - serial(l):    one QThread with its own event loop per label. Every caller that asks
//                  for the same label shares that thread, so blocks with one label never
//                  run at the same time and run in the order they were queued.
// Serial threads live until shutdown(), which the application calls before it exits; after
// it, blocks for a serial queue are dropped on the caller's thread and timers on it stay
// silent, so objects destroyed later may still use their queues.
class DispatchQueue {
public:
    enum class Kind { Main, Background, Serial };

    static DispatchQueue& main();
    static DispatchQueue& background();
    static DispatchQueue& serial(const QString& label);

    // Stops every serial thread (pending blocks are dropped). Safe to call twice.
    static void shutdown();

    void async(std::function<void()> block) const;

    Kind kind() const { return kind_; }
    QString label() const { return label_; }
    bool isCurrent() const;

    // An object that lives on the queue's thread (qApp for main, none for background);
    // timers of the queue are parented to its thread through it.
    QObject* context() const;

private:
    DispatchQueue(Kind kind, QString label, bool startThread = true);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    Kind kind_;
    QString label_;
    QThread* thread_ = nullptr;
    std::atomic<QObject*> context_ { nullptr };

    friend struct DispatchQueueRegistry;
};
