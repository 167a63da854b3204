#include "MessageWindowPresenter.h"

#include "UtilityFunctions.h"
#include "WindowFactory.h"
#include "messageView.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

void MessageWindowPresenter::present(QObject* presenter, const MessageRequest& request, messageViewDelegate* delegate)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() != app->thread()) {
        // Windows live on the GUI thread; hop there, and forget the presenter if it goes away.
        QPointer<QObject> guard(presenter);
        const bool hadPresenter = presenter != nullptr;
        QMetaObject::invokeMethod(app, [this, guard, hadPresenter, request, delegate] {
            if (hadPresenter && !guard)
                return;
            present(guard.data(), request, delegate);
        }, Qt::QueuedConnection);
        return;
    }

    QWidget* parent = qobject_cast<QWidget*>(presenter);
    if (parent)
        parent = parent->window();
    messageView* view = WindowFactory::createAs<messageView>(QStringLiteral("MessageView"), parent);
    if (!view)
        return;
    view->titleString = request.title;
    view->statusString = request.message;
    view->imagePath = request.imageName;
    view->showSecondBtn = request.showSecondBtn;
    view->mainBtnTitle = request.mainButtonTitle;
    view->secondBtnTitle = request.secondButtonTitle;
    view->closingCancels = request.closingCancels;
    view->btnClickedDelegate = delegate;
    view->present();
}

void MessageWindowPresenter::install()
{
    static MessageWindowPresenter presenter;
    UtilityFunctions::setMessagePresenter(&presenter);
}
