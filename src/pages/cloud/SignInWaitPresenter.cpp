#include "SignInWaitPresenter.h"

#include "SignInProgress.h"
#include "SignInWaitDialog.h"

#include <QWidget>

SignInWaitPresenter::SignInWaitPresenter(QWidget* over)
    : QObject(over)
    , over_(over)
{
}

void SignInWaitPresenter::watch(SignInProgress* progress)
{
    if (!progress)
        return;
    connect(progress, &SignInProgress::waiting, this, [this, progress](const QString& message) {
        finish(progress);
        SignInWaitDialog* window = open(progress);
        if (!message.isEmpty())
            window->setMessage(message);
        connect(window, &SignInWaitDialog::cancelled, progress, [this, progress] {
            waiting_.remove(progress); // the window is closing itself
            progress->cancel();
        });
        waiting_.insert(progress, window);
    });
    connect(progress, &SignInProgress::addressOffered, this, [this, progress](const QUrl& address) {
        if (SignInWaitDialog* window = waitingWindow(progress))
            window->showAddress(address);
    });
    connect(progress, &SignInProgress::failed, this, [this, progress](const QString& message) {
        SignInWaitDialog* window = waitingWindow(progress);
        if (!window)
            window = open(progress);
        window->disconnect(progress);
        window->showProblem(message);
        waiting_.remove(progress); // the user closes it; nothing waits on it any more
    });
    connect(progress, &SignInProgress::ended, this, [this, progress] { finish(progress); });
    connect(progress, &QObject::destroyed, this, [this, progress] { finish(progress); });
}

SignInWaitDialog* SignInWaitPresenter::waitingWindow(SignInProgress* progress) const
{
    return waiting_.value(progress);
}

SignInWaitDialog* SignInWaitPresenter::open(SignInProgress* progress)
{
    auto* window = new SignInWaitDialog(progress->service(), over_->window());
    window->open();
    return window;
}

void SignInWaitPresenter::finish(SignInProgress* progress)
{
    const QPointer<SignInWaitDialog> window = waiting_.take(progress);
    if (window)
        window->finish();
}
