#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

class SignInProgress;
class SignInWaitDialog;
class QWidget;

// Shows the waits of the cloud clients' browser sign-ins: a SignInWaitDialog over the window
// of `over` while a sign-in waits, the address when the browser did not open, the problem
// when it cannot start; Cancel in the window cancels the sign-in.
class SignInWaitPresenter : public QObject {
    Q_OBJECT
public:
    explicit SignInWaitPresenter(QWidget* over);

    // Shows the waits of `progress` from now on; null does nothing.
    void watch(SignInProgress* progress);
    // The window of the sign-in of `progress` while it waits, else null.
    SignInWaitDialog* waitingWindow(SignInProgress* progress) const;

private:
    SignInWaitDialog* open(SignInProgress* progress);
    void finish(SignInProgress* progress);

    QWidget* over_;
    QHash<SignInProgress*, QPointer<SignInWaitDialog>> waiting_;
};
