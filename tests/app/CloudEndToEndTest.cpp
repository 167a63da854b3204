// The whole window with its real cloud pages against the stand-in cloud: sign in on the Cloud
// page, pick a file and a folder, choose a folder on a (fake) removable drive, download, see
// the summary and come back.
#include "CloudBoxButton.h"
#include "CloudClients.h"
#include "CloudDownloadViewController.h"
#include "CloudItemTableCell.h"
#include "CloudProgressViewController.h"
#include "CloudViewController.h"
#include "Controls.h"
#include "DisplaySleepInhibitor.h"
#include "DropboxWorker.h"
#include "ElidedLabel.h"
#include "ExternalVolumes.h"
#include "FakeCloudServer.h"
#include "FakeCloudTree.h"
#include "FakeDropboxRoutes.h"
#include "FakeGoogleRoutes.h"
#include "FakeOneDriveRoutes.h"
#include "GoogleDriveWorker.h"
#include "MyTabButton.h"
#include "OneDriveWorker.h"
#include "PageRegistry.h"
#include "ReservedLoopbackPorts.h"
#include "ViewController.h"
#include "customizeButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Relative path -> content of every file, and "/" + folder for every folder, below `root`.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (QFileInfo(path).isDir())
            out.insert(path.mid(root.size()) + "/", QByteArray());
        else if (f.open(QIODevice::ReadOnly))
            out.insert(path.mid(root.size()), f.readAll());
    }
    return out;
}

// One service of the stand-in cloud and the clients the pages use, unsigned.
struct StandIn {
    FakeCloudServer server;
    FakeDropboxRoutes dropboxRoutes;
    FakeGoogleRoutes googleRoutes;
    FakeOneDriveRoutes onedriveRoutes;
    QNetworkAccessManager manager, browser;
    std::unique_ptr<DropboxWorker> dropbox;
    std::unique_ptr<GoogleDriveWorker> google;
    std::unique_ptr<OneDriveWorker> onedrive;

    StandIn(CloudLoginService service, FakeCloudTree& tree)
    {
        manager.setProxy(QNetworkProxy::NoProxy);
        browser.setProxy(QNetworkProxy::NoProxy);
        server.listen();
        const QString base = server.baseUrl().toString();
        auto follow = [this](const QUrl& url) {
            QNetworkReply* reply = browser.get(QNetworkRequest(url));
            QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
            return true;
        };
        if (service == CloudLoginService::dropbox) {
            dropboxRoutes.install(server, tree);
            dropbox = std::make_unique<DropboxWorker>(dropboxRoutes.appKey,
                                                      DropboxEndpoints { server.baseUrl(), server.baseUrl(), server.baseUrl(), 0 });
            dropbox->setBrowserOpener(follow);
        } else if (service == CloudLoginService::googleDrive) {
            googleRoutes.picture.clear();
            googleRoutes.install(server, tree);
            GoogleDriveConstant c = GoogleDriveConstant::atHosts(base, base, base, QStringLiteral("http://127.0.0.1:%1/").arg(ReservedLoopbackPorts::take()));
            c.clientID = googleRoutes.clientId;
            c.clientSecret = googleRoutes.clientSecret;
            google = std::make_unique<GoogleDriveWorker>(c, GoogleDriveDelays {}, &manager);
            google->setBrowserOpener(follow);
        } else {
            onedriveRoutes.install(server, tree);
            OneDriveConstant c = OneDriveConstant::atHosts(base, base, base,
                                                           QStringLiteral("http://127.0.0.1:%1/getAToken").arg(ReservedLoopbackPorts::take()));
            c.clientID = onedriveRoutes.clientId;
            onedrive = std::make_unique<OneDriveWorker>(c, OneDriveDelays {}, &manager);
            onedrive->setBrowserOpener(follow);
        }
    }
};

// The row's own button, clicked as a user clicks it.
void clickSignIn(CloudViewController* page, CloudLoginService service)
{
    const QString row = service == CloudLoginService::dropbox ? "DropboxRow"
        : service == CloudLoginService::googleDrive          ? "GoogleDriveRow"
                                                             : "OneDriveRow";
    QTest::mouseClick(control<customizeButton>(control<QWidget>(page, row), "signButton"), Qt::LeftButton);
}

void tick(CloudDownloadViewController* picker, const QString& name)
{
    for (int row = 0; row < picker->numberOfRows(); ++row) {
        if (picker->data.at(row)->name == name) {
            QTest::mouseClick(picker->cellAt(row)->cloudItemCheckbox, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "no row " << name.toStdString();
}

} // namespace

TEST(CloudEndToEnd, SignInPickDownloadToAFakeDriveAndComeBack)
{
    FakeCloudTree tree;
    const QString photos = tree.addFolder("", "Photos");
    const QByteArray picture(200 * 1024 + 7, 'p');
    tree.addFile(photos, "beach.jpg", picture);
    const QString year = tree.addFolder(photos, "2021");
    tree.addFile(year, "1", "one");
    tree.addFolder(year, "Empty");
    tree.addFile("", "notes.txt", "hello");
    tree.addFile("", "skip.txt", "not picked");

    CloudClients standardClients; // replaced by each service's stand-in below
    PageRegistry::registerPages(standardClients);
    const QDBusConnection noBus = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                                QStringLiteral("cloud-e2e-nobus"));
    DisplaySleepInhibitor inhibitor(noBus, noBus);

    for (CloudLoginService service : { CloudLoginService::googleDrive, CloudLoginService::dropbox, CloudLoginService::onedrive }) {
        SCOPED_TRACE(int(service));
        StandIn cloud(service, tree);
        QTemporaryDir media;
        const QString drive = media.path() + "/FAKEDRIVE";
        const QString dest = drive + "/Cloud copies";
        ASSERT_TRUE(QDir().mkpath(dest));
        ExternalVolumes::setOverride(QStringList { media.path() }, QStringList { drive });

        ViewController vc;
        auto* page = qobject_cast<CloudViewController*>(vc.page("CloudContainerSegue"));
        auto* run = qobject_cast<CloudProgressViewController*>(vc.page("CloudProgressContainerSegue"));
        ASSERT_TRUE(page && run);
        // The service under test talks to the stand-in; the others stay as built.
        DropboxWorker* dropbox = cloud.dropbox ? cloud.dropbox.get() : &standardClients.dropbox();
        GoogleDriveWorker* google = cloud.google ? cloud.google.get() : &standardClients.google();
        OneDriveWorker* onedrive = cloud.onedrive ? cloud.onedrive.get() : &standardClients.onedrive();
        page->setClients(dropbox, google, onedrive);
        page->setNetworkAccessManager(&cloud.manager);
        run->setClients(dropbox, google, onedrive);
        run->setNetworkAccessManager(&cloud.manager);
        run->setSleepInhibitor(&inhibitor);
        run->setFolderOpener([](const QUrl&) { return true; });
        vc.setTabsEnabled(true);
        vc.show();
        QTest::mouseClick(control<MyTabButton>(vc, "CLOUDBACKUP"), Qt::LeftButton);
        ASSERT_TRUE(page->isVisible());

        // Sign in: the service opens on its own.
        clickSignIn(page, service);
        ASSERT_TRUE(QTest::qWaitFor([&] { return page->currentLoginService == service; }, 10000));
        EXPECT_TRUE(page->shown().open.accountCard);

        // Pick the folder and one file.
        auto* picker = page->selectFilesClicked();
        ASSERT_TRUE(picker);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !picker->isLoading() && picker->numberOfRows() == 3; }, 10000));
        tick(picker, "Photos");
        tick(picker, "notes.txt");
        QSignalSpy handedOver(picker, &CloudDownloadViewController::selectionHandedOver);
        picker->doneBtnClicked();
        ASSERT_TRUE(handedOver.count() == 1 || handedOver.wait(10000));
        EXPECT_EQ(page->CloudItemArray.size(), 2);
        EXPECT_EQ(page->cloudSourceTotalSize, quint64(picture.size() + 3 + 5));

        // A folder on the fake drive.
        QFileDialog* chooser = page->selectDestBtnClicked();
        ASSERT_TRUE(chooser);
        Q_EMIT chooser->fileSelected(dest);
        chooser->close();
        EXPECT_EQ(page->destinationUrl, dest);
        ASSERT_TRUE(page->shown().open.backupEnabled);

        // Download: the run screen holds the window until Done.
        QSignalSpy finished(run, &CloudProgressViewController::runFinished);
        page->cloudBackupClicked();
        EXPECT_TRUE(control<QWidget>(vc, "CloudProgressContainer")->isVisible());
        EXPECT_FALSE(control<MyTabButton>(vc, "BACKUP")->isEnabled());
        EXPECT_TRUE(control<MyTabButton>(vc, "CLOUDBACKUP")->isEnabled());
        ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
        EXPECT_EQ(run->shown().headline, "Summary");
        EXPECT_EQ(run->shown().firstValue, "3/3");
        EXPECT_EQ(run->shown().secondValue, "0");
        QTest::mouseClick(control<MyTabButton>(vc, "CLOUDBACKUP"), Qt::LeftButton); // the tab shows the run screen, not a new page
        EXPECT_TRUE(control<QWidget>(vc, "CloudProgressContainer")->isVisible());
        EXPECT_FALSE(control<QWidget>(vc, "CloudContainer")->isVisible());

        const QMap<QString, QByteArray> expected {
            { "/Photos/", {} },       { "/Photos/beach.jpg", picture }, { "/Photos/2021/", {} },
            { "/Photos/2021/1", "one" }, { "/Photos/2021/Empty/", {} }, { "/notes.txt", "hello" },
        };
        EXPECT_EQ(snapshot(dest), expected);

        // Done: back to the Cloud page's service choice with every tab.
        run->stopDownload();
        EXPECT_TRUE(control<QWidget>(vc, "CloudContainer")->isVisible());
        EXPECT_FALSE(control<QWidget>(vc, "CloudProgressContainer")->isVisible());
        EXPECT_TRUE(control<MyTabButton>(vc, "BACKUP")->isEnabled());
        EXPECT_TRUE(page->shown().serviceChoice);
        EXPECT_EQ(page->currentLoginService, CloudLoginService::none);
        EXPECT_TRUE(page->CloudItemArray.isEmpty());
        vc.hide();
        ExternalVolumes::setOverride(std::nullopt, std::nullopt);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("cloud-e2e-nobus"));
}
