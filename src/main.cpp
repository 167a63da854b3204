#include "AppDelegate.h"
#include "CloudClientSessions.h"
#include "CloudClients.h"
#include "DispatchQueue.h"
#include "DisplayCheck.h"
#include "MessageWindowPresenter.h"
#include "PageRegistry.h"
#include "SingleInstance.h"
#include "ViewController.h"

#include <QApplication>
#include <QThreadPool>
#include <cstdio>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    DisplayCheck display;
    if (!display.hasDisplay(QProcessEnvironment::systemEnvironment(), arguments)) {
        std::fputs("Zorvi needs a graphical session (no display was found).\n", stderr);
        return 1;
    }

    QApplication app(argc, argv);
    display.release();
    QApplication::setOrganizationName("Morvantek");
    QApplication::setApplicationName("Zorvi");

    // A second start shows the running window instead of opening another task list.
    SingleInstance instance;
    instance.claim();
    if (instance.shouldExit())
        return 0;

    // The cloud clients live from here until the window and its pages are gone.
    CloudClients cloudClients;
    MessageWindowPresenter::install();
    PageRegistry::registerPages(cloudClients);

    ViewController window;
    window.setWindowTitle("Zorvi");
    PageRegistry::attachUsbWatcher(window);
    window.start();
    window.show();

    AppDelegate delegate;
    CloudClientSessions cloudSessions(cloudClients);
    delegate.setCloudSessions(&cloudSessions);
    delegate.applicationDidFinishLaunching(&window);
    QObject::connect(&instance, &SingleInstance::activateRequested, &delegate, &AppDelegate::showMainWindow);

    const int status = app.exec();
    window.controller.cancelAllRuns();
    QThreadPool::globalInstance()->waitForDone();
    DispatchQueue::shutdown();
    return status;
}
