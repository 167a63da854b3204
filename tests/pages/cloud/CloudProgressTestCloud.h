#pragma once

#include "CloudFolderLister.h"
#include "CloudItemClass.h"
#include "CloudLoginService.h"
#include "CloudProgressViewController.h"
#include "CountingNetworkAccessManager.h"
#include "DisplaySleepInhibitor.h"
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

#include <QDirIterator>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>
#include <memory>

// The three services of the stand-in cloud over one tree, each signed in, and a run screen
// pointed at them. Its inhibitor talks to no bus, so no test keeps the real display awake.
class CloudProgressTestCloud {
public:
    FakeCloudTree tree;
    FakeCloudServer dropboxServer, googleServer, onedriveServer;
    FakeDropboxRoutes dropboxRoutes;
    FakeGoogleRoutes googleRoutes;
    FakeOneDriveRoutes onedriveRoutes;
    CountingNetworkAccessManager manager; // every client's
    FakeBrowser browser; // the stand-in's authorize pages redirect back to our listener
    std::unique_ptr<DropboxWorker> dropbox;
    std::unique_ptr<GoogleDriveWorker> google;
    std::unique_ptr<OneDriveWorker> onedrive;
    std::unique_ptr<DisplaySleepInhibitor> inhibitor;
    std::unique_ptr<CloudProgressViewController> run;

    CloudProgressTestCloud()
    {
        manager.setProxy(QNetworkProxy::NoProxy);
    }
    ~CloudProgressTestCloud()
    {
        run.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("cloudtest-nobus"));
    }

    bool start()
    {
        if (!dropboxServer.listen() || !googleServer.listen() || !onedriveServer.listen())
            return false;
        dropboxRoutes.install(dropboxServer, tree);
        googleRoutes.install(googleServer, tree);
        onedriveRoutes.install(onedriveServer, tree);

        const QUrl d = dropboxServer.baseUrl();
        dropbox = std::make_unique<DropboxWorker>(dropboxRoutes.appKey, DropboxEndpoints{d, d, d, 0}, DropboxDelays{}, &manager);
        dropbox->setBrowserOpener(browser.opener());
        bool dropboxDone = false;
        dropbox->authorize([&](const DropboxOAuthResult&) { dropboxDone = true; });

        const QString g = googleServer.baseUrl().toString();
        GoogleDriveConstant gc = GoogleDriveConstant::atHosts(g, g, g, QStringLiteral("http://127.0.0.1:%1/").arg(ReservedLoopbackPorts::take()));
        gc.clientID = googleRoutes.clientId;
        gc.clientSecret = googleRoutes.clientSecret;
        google = std::make_unique<GoogleDriveWorker>(gc, GoogleDriveDelays{}, &manager);
        google->setBrowserOpener(browser.opener());
        QSignalSpy googleDone(google.get(), &GoogleDriveWorker::GoogleDrive_login);
        google->login();

        const QString o = onedriveServer.baseUrl().toString();
        OneDriveConstant oc = OneDriveConstant::atHosts(o, o, o, QStringLiteral("http://127.0.0.1:%1/getAToken").arg(ReservedLoopbackPorts::take()));
        oc.clientID = onedriveRoutes.clientId;
        OneDriveDelays od;
        od.itemRetryMs = 10;
        onedrive = std::make_unique<OneDriveWorker>(oc, od, &manager);
        onedrive->setBrowserOpener(browser.opener());
        QSignalSpy onedriveDone(onedrive.get(), &OneDriveWorker::OneDrive_login);
        onedrive->login();

        if (!QTest::qWaitFor([&] { return dropboxDone && !googleDone.isEmpty() && !onedriveDone.isEmpty(); }, 10000))
            return false;
        if (!dropbox->isSignedIn() || !googleDone.first().first().toBool() || !onedriveDone.first().first().toBool())
            return false;

        const QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                                   QStringLiteral("cloudtest-nobus"));
        inhibitor = std::make_unique<DisplaySleepInhibitor>(none, none);
        run = std::make_unique<CloudProgressViewController>();
        run->setClients(dropbox.get(), google.get(), onedrive.get());
        run->setNetworkAccessManager(&manager);
        run->setSleepInhibitor(inhibitor.get());
        run->limits().authRetryMs = 50;
        run->limits().rateLimit.secondMs = 5;
        run->limits().rateLimit.backoffMs = 5;
        return true;
    }

    // Every file of the tree as the page hands it over for `service`.
    QList<CloudItemPtr> files(CloudLoginService service)
    {
        QList<CloudItemPtr> out;
        walk(service, QString(), QString(), out);
        return out;
    }

    // Runs to the summary; false when it never came.
    bool download(const QList<CloudItemPtr>& items, const QString& destination, CloudLoginService service)
    {
        QSignalSpy finished(run.get(), &CloudProgressViewController::runFinished);
        run->doCloudDownload(items, destination, service);
        return finished.wait(20000);
    }

    int requestsTo(const FakeCloudServer& server, const QString& pathPart) const
    {
        int n = 0;
        for (const FakeCloudServer::Request& r : server.requests())
            n += r.path().contains(pathPart) ? 1 : 0;
        return n;
    }

    // Relative path -> content of every file below `folder`.
    static QMap<QString, QByteArray> contents(const QString& folder)
    {
        QMap<QString, QByteArray> out;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            f.open(QIODevice::ReadOnly);
            out.insert(f.fileName().mid(folder.size()), f.readAll());
        }
        return out;
    }

private:
    void walk(CloudLoginService service, const QString& folder, const QString& route, QList<CloudItemPtr>& out)
    {
        QList<CloudItemPtr> folders;
        bool done = false;
        if (service == CloudLoginService::dropbox) {
            dropbox->listFolder(folder, [&](const QList<DropboxMetadata>& entries, bool) {
                for (const DropboxMetadata& m : entries) {
                    if (const CloudItemPtr item = CloudFolderLister::fromDropbox(m))
                        (m.isFile() ? out : folders).append(item);
                }
                done = true;
            });
        } else if (service == CloudLoginService::googleDrive) {
            google->listFolder(folder, route, [&](const QList<CloudItemPtr>& items, bool) {
                for (const CloudItemPtr& item : items)
                    (item->isFolder() ? folders : out).append(item);
                done = true;
            });
        } else {
            onedrive->listFolder(folder, [&](const QList<CloudItemPtr>& fs, const QList<CloudItemPtr>& files, bool) {
                folders = fs;
                out += files;
                done = true;
            });
        }
        if (!QTest::qWaitFor([&] { return done; }, 5000))
            qWarning("a listing of the stand-in cloud never answered");
        for (const CloudItemPtr& f : std::as_const(folders))
            walk(service, service == CloudLoginService::dropbox ? f->path : f->id, f->googleRoute, out);
    }
};
