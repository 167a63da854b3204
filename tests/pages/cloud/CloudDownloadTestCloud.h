#pragma once

#include "CloudLoginService.h"
#include "CountingNetworkAccessManager.h"
#include "DropboxWorker.h"
#include "FakeBrowser.h"
#include "FakeCloudServer.h"
#include "FakeCloudTree.h"
#include "FakeDropboxRoutes.h"
#include "FakeGoogleRoutes.h"
#include "FakeOneDriveRoutes.h"
#include "GoogleDriveWorker.h"
#include "OneDriveWorker.h"
#include "ReservedLoopbackPorts.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

// One service of the stand-in cloud with a client of ours signed in to it, for the picker's
// tests. The user's browser follows the sign-in redirects.
class CloudDownloadTestCloud {
public:
    explicit CloudDownloadTestCloud(CloudLoginService service)
        : service(service)
    {
        server.listen();
        const QString base = server.baseUrl().toString();
        const QString redirect = QStringLiteral("http://127.0.0.1:%1").arg(ReservedLoopbackPorts::take());
        switch (service) {
        case CloudLoginService::dropbox: {
            dropboxRoutes.install(server, tree);
            DropboxEndpoints e{server.baseUrl(), server.baseUrl(), server.baseUrl(), 0};
            DropboxDelays d;
            d.transferTimeoutMs = 5000;
            dropbox = std::make_unique<DropboxWorker>(dropboxRoutes.appKey, e, d, &manager);
            dropbox->setBrowserOpener(browser.opener());
            break;
        }
        case CloudLoginService::googleDrive: {
            googleRoutes.install(server, tree);
            GoogleDriveConstant c = GoogleDriveConstant::atHosts(base, base, base, redirect + "/");
            c.clientID = googleRoutes.clientId;
            c.clientSecret = googleRoutes.clientSecret;
            GoogleDriveDelays d;
            d.rateLimit.backoffMs = 5;
            d.rateLimit.secondMs = 5;
            google = std::make_unique<GoogleDriveWorker>(c, d, &manager);
            google->setBrowserOpener(browser.opener());
            break;
        }
        case CloudLoginService::onedrive: {
            onedriveRoutes.install(server, tree);
            OneDriveConstant c = OneDriveConstant::atHosts(base, base, base, redirect + "/getAToken");
            c.clientID = onedriveRoutes.clientId;
            c.clientSecret = QStringLiteral("standin-onedrive-secret-0123456789abc");
            onedrive = std::make_unique<OneDriveWorker>(c, OneDriveDelays{}, &manager);
            onedrive->setBrowserOpener(browser.opener());
            break;
        }
        case CloudLoginService::none:
            break;
        }
    }

    bool signIn()
    {
        switch (service) {
        case CloudLoginService::dropbox: {
            std::optional<bool> ok;
            dropbox->authorize([&](const DropboxOAuthResult& r) { ok = r.kind == DropboxOAuthResult::Kind::success; });
            return QTest::qWaitFor([&] { return ok.has_value(); }, 5000) && *ok;
        }
        case CloudLoginService::googleDrive: {
            QSignalSpy result(google.get(), &GoogleDriveWorker::GoogleDrive_login);
            google->login();
            return result.wait(5000) && result.first().first().toBool();
        }
        case CloudLoginService::onedrive: {
            QSignalSpy result(onedrive.get(), &OneDriveWorker::OneDrive_login);
            onedrive->login();
            return result.wait(5000) && result.first().first().toBool();
        }
        case CloudLoginService::none:
            break;
        }
        return false;
    }

    // Listings answer only after this many milliseconds (0: at once).
    void setDelay(int ms)
    {
        dropboxRoutes.delayMs = ms;
        googleRoutes.delayMs = ms;
        onedriveRoutes.delayMs = ms;
    }
    // Listings of folders with more than one entry fail on their second page.
    void failSecondPages()
    {
        dropboxRoutes.pageSize = googleRoutes.pageSize = onedriveRoutes.pageSize = 1;
        dropboxRoutes.failPage = googleRoutes.failPage = onedriveRoutes.failPage = 2;
    }

    CloudLoginService service;
    FakeCloudServer server;
    FakeCloudTree tree;
    FakeDropboxRoutes dropboxRoutes;
    FakeGoogleRoutes googleRoutes;
    FakeOneDriveRoutes onedriveRoutes;
    CountingNetworkAccessManager manager; // every client's
    FakeBrowser browser;
    std::unique_ptr<DropboxWorker> dropbox;
    std::unique_ptr<GoogleDriveWorker> google;
    std::unique_ptr<OneDriveWorker> onedrive;
};
