#include "PageRegistry.h"

#include "BackupViewController.h"
#include "CloudProgressViewController.h"
#include "CloudViewController.h"
#include "MyDeviceViewController.h"
#include "OTBViewController.h"
#include "RestoreViewController.h"
#include "SecurityViewController.h"
#include "USBWatcher.h"
#include "UsbDeviceTracker.h"
#include "ViewController.h"
#include "WindowFactory.h"
#include "messageView.h"

#include <QLoggingCategory>

void PageRegistry::registerPages()
{
    WindowFactory::registerWindow("MyDeviceContainerSegue", [](QWidget* p) { return new MyDeviceViewController(p); });
    WindowFactory::registerWindow("BackupContainerSegue", [](QWidget* p) { return new BackupViewController(p); });
    WindowFactory::registerWindow("RestoreContainerSegue", [](QWidget* p) { return new RestoreViewController(p); });
    WindowFactory::registerWindow("OTBContainerSegue", [](QWidget* p) {
        auto* page = new OTBViewController(p);
        page->suppressibleMessagePresenter = [](QWidget* presenter, const QString& title, const QString& image,
                                                const QString& message, const QString& checkText, const QString& key) {
            auto* window = WindowFactory::createAs<messageView>("MessageView", presenter->window());
            if (!window)
                return;
            window->titleString = title;
            window->imagePath = image;
            window->statusString = message;
            window->showSuppressionCheckBox = true;
            window->suppressionLabelText = checkText;
            window->suppressionKey = key;
            window->present();
        };
        return page;
    });
    WindowFactory::registerWindow("SecurityContainerSegue", [](QWidget* p) { return new SecurityViewController(p); });
    WindowFactory::registerWindow("CloudContainerSegue", [](QWidget* p) { return new CloudViewController(p); });
    WindowFactory::registerWindow("CloudProgressContainerSegue", [](QWidget* p) { return new CloudProgressViewController(p); });
}

void PageRegistry::attachUsbWatcher(ViewController& window)
{
    window.createUsbWatcher = [](ViewController* vc) {
        auto* tracker = new UsbDeviceTracker(vc);
        vc->usbTracker = tracker;
        tracker->setDeviceListPage(vc->MyDeviceView);
        tracker->setStopOtbPolling([vc] { vc->stopOtbPolling(); });
        auto* watcher = new USBWatcher(tracker, vc);
        if (!watcher->start())
            qWarning().noquote() << "USB watcher:" << watcher->errorString();
    };
}
