#include "PageRegistry.h"

#include "BackupViewController.h"
#include "CloudClients.h"
#include "CloudProgressViewController.h"
#include "CloudViewController.h"
#include "DropboxWorker.h"
#include "GoogleDriveWorker.h"
#include "MyDeviceViewController.h"
#include "OTBViewController.h"
#include "OneDriveWorker.h"
#include "RestoreViewController.h"
#include "SecurityViewController.h"
#include "USBWatcher.h"
#include "UsbDeviceTracker.h"
#include "ViewController.h"
#include "WindowFactory.h"
#include "messageView.h"

#include <QLoggingCategory>
#include <QPointer>

void PageRegistry::registerPages(CloudClients& cloud)
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
    const QPointer<CloudClients> clients(&cloud);
    WindowFactory::registerWindow("CloudContainerSegue", [clients](QWidget* p) -> QWidget* {
        if (!clients)
            return nullptr;
        auto* page = new CloudViewController(p);
        page->setClients(&clients->dropbox(), &clients->google(), &clients->onedrive());
        return page;
    });
    WindowFactory::registerWindow("CloudProgressContainerSegue", [clients](QWidget* p) -> QWidget* {
        if (!clients)
            return nullptr;
        auto* run = new CloudProgressViewController(p);
        run->setClients(&clients->dropbox(), &clients->google(), &clients->onedrive());
        return run;
    });
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
