#include "PageRegistry.h"

#include "BackupViewController.h"
#include "MyDeviceViewController.h"
#include "RestoreViewController.h"
#include "SecurityViewController.h"
#include "USBWatcher.h"
#include "UsbDeviceTracker.h"
#include "ViewController.h"
#include "WindowFactory.h"

#include <QLoggingCategory>

void PageRegistry::registerPages()
{
    WindowFactory::registerWindow("MyDeviceContainerSegue", [](QWidget* p) { return new MyDeviceViewController(p); });
    WindowFactory::registerWindow("BackupContainerSegue", [](QWidget* p) { return new BackupViewController(p); });
    WindowFactory::registerWindow("RestoreContainerSegue", [](QWidget* p) { return new RestoreViewController(p); });
    WindowFactory::registerWindow("SecurityContainerSegue", [](QWidget* p) { return new SecurityViewController(p); });
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
