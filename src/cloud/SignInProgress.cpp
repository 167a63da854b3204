#include "SignInProgress.h"

SignInProgress::SignInProgress(QString service, QObject* parent)
    : QObject(parent)
    , service_(std::move(service))
{
}

void SignInProgress::wait(const QString& message)
{
    waiting_ = true;
    Q_EMIT waiting(message);
}

void SignInProgress::offerAddress(const QUrl& address)
{
    if (waiting_)
        Q_EMIT addressOffered(address);
}

void SignInProgress::fail(const QString& message)
{
    waiting_ = false;
    Q_EMIT failed(message);
}

void SignInProgress::end()
{
    if (!waiting_)
        return;
    waiting_ = false;
    Q_EMIT ended();
}

void SignInProgress::cancel()
{
    if (!waiting_)
        return;
    waiting_ = false;
    Q_EMIT cancelled();
}
