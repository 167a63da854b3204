#include "DispatchQueue.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <map>
#include <memory>

struct DispatchQueueRegistry {
    QMutex mutex;
    std::map<QString, DispatchQueue*> serial;
    bool shutDown = false;

    static DispatchQueueRegistry& get()
    {
        static DispatchQueueRegistry registry;
        return registry;
    }
};

DispatchQueue::DispatchQueue(Kind kind, QString label, bool startThread)
    : kind_(kind)
    , label_(std::move(label))
{
    if (kind_ != Kind::Serial || !startThread)
        return;
    thread_ = new QThread;
    thread_->setObjectName(label_);
    // The context is never deleted, like the queue: a post racing shutdown() must still find
    // it (and is then simply never delivered).
    auto* context = new QObject;
    context->moveToThread(thread_);
    context_ = context;
    thread_->start();
}

DispatchQueue::~DispatchQueue() = default;

DispatchQueue& DispatchQueue::main()
{
    static DispatchQueue* queue = new DispatchQueue(Kind::Main, "main");
    return *queue;
}

DispatchQueue& DispatchQueue::background()
{
    static DispatchQueue* queue = new DispatchQueue(Kind::Background, "background");
    return *queue;
}

DispatchQueue& DispatchQueue::serial(const QString& label)
{
    auto& registry = DispatchQueueRegistry::get();
    QMutexLocker lock(&registry.mutex);
    auto it = registry.serial.find(label);
    if (it == registry.serial.end())
        it = registry.serial.emplace(label, new DispatchQueue(Kind::Serial, label, !registry.shutDown)).first;
    return *it->second;
}

void DispatchQueue::shutdown()
{
    auto& registry = DispatchQueueRegistry::get();
    QMutexLocker lock(&registry.mutex);
    registry.shutDown = true;
    // The queues themselves stay: objects that outlive this (timers of windows destroyed
    // after the event loop) still hold them and may cancel their timers.
    for (auto& [label, queue] : registry.serial) {
        if (!queue->thread_)
            continue;
        queue->context_ = nullptr;
        queue->thread_->quit();
        queue->thread_->wait();
        delete queue->thread_;
        queue->thread_ = nullptr;
    }
}

void DispatchQueue::async(std::function<void()> block) const
{
    switch (kind_) {
    case Kind::Main:
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(block), Qt::QueuedConnection);
        break;
    case Kind::Background:
        QThreadPool::globalInstance()->start(std::move(block));
        break;
    case Kind::Serial:
        // After shutdown() the block is dropped here.
        if (QObject* context = context_.load())
            QMetaObject::invokeMethod(context, std::move(block), Qt::QueuedConnection);
        break;
    }
}

bool DispatchQueue::isCurrent() const
{
    switch (kind_) {
    case Kind::Main:
        return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
    case Kind::Background:
        return QThreadPool::globalInstance()->contains(QThread::currentThread());
    case Kind::Serial:
        return QThread::currentThread() == thread_;
    }
    return false;
}

QObject* DispatchQueue::context() const
{
    if (kind_ == Kind::Main)
        return QCoreApplication::instance();
    return context_.load();
}
