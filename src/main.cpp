#include "AppDelegate.h"
#include "DispatchQueue.h"
#include "MessageWindowPresenter.h"
#include "PageRegistry.h"
#include "SingleInstance.h"
#include "ViewController.h"

#include <QApplication>
#include <QThreadPool>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Morvantek");
    QApplication::setApplicationName("Zorvi");

    // A second start shows the running window instead of opening another task list.
    SingleInstance instance;
    instance.claim();
    if (instance.shouldExit())
        return 0;

    MessageWindowPresenter::install();
    PageRegistry::registerPages();

    ViewController window;
    window.setWindowTitle("Zorvi");
    PageRegistry::attachUsbWatcher(window);
    window.start();
    window.show();

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching(&window);
    QObject::connect(&instance, &SingleInstance::activateRequested, &delegate, &AppDelegate::showMainWindow);

    const int status = app.exec();
    window.controller.cancelAllRuns();
    QThreadPool::globalInstance()->waitForDone();
    DispatchQueue::shutdown();
    return status;
}
