// The Cloud Backup page against the stand-in cloud, offscreen.
#include "AnalyticsSink.h"
#include "CloudClients.h"
#include "CloudViewController.h"
#include "Controls.h"
#include "ExternalVolumes.h"
#include "FakeBrowser.h"
#include "FakeCloudServer.h"
#include "FakeCloudTree.h"
#include "FakeGoogleRoutes.h"
#include "FakeOneDriveRoutes.h"
#include "GoogleDriveWorker.h"
#include "GoogleReporter.h"
#include "MessagePresenter.h"
#include "OneDriveWorker.h"
#include "ReservedLoopbackPorts.h"
#include "UtilityFunctions.h"
#include "cloudDelegate.h"
#include "customizeButton.h"

#include <QBuffer>
#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class Presenter : public MessagePresenter {
public:
    QStringList shown;
    void present(QObject*, const MessageRequest& r, messageViewDelegate*) override { shown << r.title + "|" + r.message; }
};

class Sink : public AnalyticsSink {
public:
    QStringList events;
    void configure(const QString&) override {}
    void session(bool, const Parameters&) override {}
    void event(const QString& c, const QString& a, const QString&, const Parameters&) override { events << c + "|" + a; }
    void screenView(const QString& name, const Parameters&) override { events << "screen|" + name; }
};

class MainWindow : public QObject, public cloudDelegate {
public:
    QList<CloudItemPtr> items;
    QString destination;
    CloudLoginService service = CloudLoginService::none;
    int runs = 0;
    void startCloudDownload(const QList<CloudItemPtr>& i, const QString& d, CloudLoginService s) override
    {
        items = i;
        destination = d;
        service = s;
        ++runs;
    }
};

CloudItemPtr item(const QString& name, const QString& path, const QString& type, const QString& id, quint64 size,
                  const QString& route = QString())
{
    return std::make_shared<CloudItemClass>(name, path, type, id, size, QString(), QString(), route);
}

QStringList treeBelow(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next().mid(folder.size());
    out.sort();
    return out;
}

class CloudViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UtilityFunctions::setMessagePresenter(&presenter);
        GoogleReporter::shared().setSink(sink);
        manager.setProxy(QNetworkProxy::NoProxy);
        ASSERT_TRUE(server.listen());
        // The account picture, served beside the service.
        server.addHandler([](const FakeCloudServer::Request& r) -> std::optional<FakeCloudServer::Response> {
            if (r.path() != "/ann.png")
                return std::nullopt;
            QImage image(8, 8, QImage::Format_RGB32);
            image.fill(Qt::red);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return FakeCloudServer::Response::text(png, "image/png");
        });
        googleRoutes.picture = server.baseUrl().toString() + "/ann.png";
        googleRoutes.install(server, tree);
        const QString base = server.baseUrl().toString();
        GoogleDriveConstant gc = GoogleDriveConstant::atHosts(base, base, base, QStringLiteral("http://127.0.0.1:%1/").arg(ReservedLoopbackPorts::take()));
        gc.clientID = googleRoutes.clientId;
        gc.clientSecret = googleRoutes.clientSecret;
        google = std::make_unique<GoogleDriveWorker>(gc, GoogleDriveDelays{}, &manager);
        google->setBrowserOpener(browser.opener());

        ASSERT_TRUE(onedriveServer.listen());
        onedriveServer.addHandler([this](const FakeCloudServer::Request& r) { return onedriveHook ? onedriveHook(r) : std::nullopt; });
        onedriveRoutes.install(onedriveServer, tree);
        const QString o = onedriveServer.baseUrl().toString();
        OneDriveConstant oc = OneDriveConstant::atHosts(o, o, o, QStringLiteral("http://127.0.0.1:%1/getAToken").arg(ReservedLoopbackPorts::take()));
        oc.clientID = onedriveRoutes.clientId;
        OneDriveDelays od;
        od.transferTimeoutMs = 300;
        onedrive = std::make_unique<OneDriveWorker>(oc, od, &manager);
        onedrive->setBrowserOpener(browser.opener());

        page = std::make_unique<CloudViewController>();
        page->setClients(&standard.dropbox(), google.get(), onedrive.get());
        page->setNetworkAccessManager(&manager);
        page->embed(&window);
        page->resize(770, 484);
    }
    void TearDown() override
    {
        page.reset();
        UtilityFunctions::setMessagePresenter(nullptr);
        UtilityFunctions::setFreeSpaceForTests(-1);
        GoogleReporter::shared().setSink(nullptr);
        ExternalVolumes::setOverride(std::nullopt, std::nullopt);
    }

    QString settingsFlag(const char* key) const { return QSettings().value(key).toString(); }

    Presenter presenter;
    std::shared_ptr<Sink> sink = std::make_shared<Sink>();
    FakeCloudTree tree;
    FakeCloudServer server, onedriveServer;
    FakeGoogleRoutes googleRoutes;
    FakeOneDriveRoutes onedriveRoutes;
    FakeCloudServer::Handler onedriveHook; // answers before the routes when set
    QNetworkAccessManager manager;
    FakeBrowser browser;
    std::unique_ptr<GoogleDriveWorker> google;
    std::unique_ptr<OneDriveWorker> onedrive;
    CloudClients standard; // Dropbox as built
    MainWindow window;
    std::unique_ptr<CloudViewController> page;
};

} // namespace

TEST_F(CloudViewControllerTest, SignInOpensTheServiceAndSignOutClearsItsRow)
{
    QSettings().setValue("hasGoogleLogedIn", true);
    page = std::make_unique<CloudViewController>(); // a launch starts signed out
    page->setClients(&standard.dropbox(), google.get(), onedrive.get());
    page->setNetworkAccessManager(&manager);
    EXPECT_EQ(settingsFlag("hasGoogleLogedIn"), "false");
    EXPECT_EQ(settingsFlag("hasDropboxLogedIn"), "false");

    // A result while the page is off screen is not seen.
    Q_EMIT google->GoogleDrive_login(true);
    EXPECT_FALSE(page->hasGoogleLogedIn);

    page->show();
    EXPECT_TRUE(sink->events.contains("screen|Cloud View"));
    Q_EMIT google->GoogleDrive_login(false);
    EXPECT_TRUE(page->shown().serviceChoice);

    QSignalSpy picture(page.get(), &CloudViewController::accountPictureShown);
    QTest::mouseClick(control<customizeButton>(control<QWidget>(page, "GoogleDriveRow"), "signButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->hasGoogleLogedIn; }, 5000));
    EXPECT_EQ(settingsFlag("hasGoogleLogedIn"), "true");
    EXPECT_EQ(page->currentLoginService, CloudLoginService::googleDrive);
    CloudViewController::Shown shown = page->shown();
    EXPECT_FALSE(shown.serviceChoice);
    EXPECT_TRUE(shown.open.accountCard && shown.open.back && shown.open.backup);
    EXPECT_EQ(shown.open.accountEmail, "ann@example.com");
    EXPECT_EQ(shown.open.accountService, "Google Drive");
    EXPECT_EQ(shown.open.sourceTileImage, "ic_cloud_google drive");
    EXPECT_EQ(shown.open.destinationTileTitle, "Destination");
    EXPECT_FALSE(shown.open.backupEnabled);
    ASSERT_TRUE(picture.count() > 0 || picture.wait(5000));
    EXPECT_EQ(page->shown().open.accountPicture.pixelColor(22, 22), QColor(Qt::red));

    // Back asks first; its cancel button keeps the service open, its close button leaves.
    page->cloudBackBtnClicked();
    EXPECT_EQ(presenter.shown.value(0), "Information|Discard all selections and exit?");
    page->btnClicked(1);
    EXPECT_EQ(page->currentLoginService, CloudLoginService::googleDrive);
    page->btnClicked(0);
    EXPECT_EQ(page->currentLoginService, CloudLoginService::none);
    shown = page->shown();
    EXPECT_TRUE(shown.serviceChoice && shown.google.signOutShown && shown.google.openShown);
    EXPECT_FALSE(shown.dropbox.signOutShown);

    page->logoutGoogleDrive(); // its sign-out button
    EXPECT_FALSE(page->hasGoogleLogedIn);
    EXPECT_EQ(settingsFlag("hasGoogleLogedIn"), "false");
    EXPECT_TRUE(google->token().isEmpty());
    shown = page->shown();
    EXPECT_FALSE(shown.google.signOutShown);
    EXPECT_TRUE(shown.google.signShown);
    EXPECT_EQ(shown.google.signTitle, "Sign In");
    EXPECT_TRUE(shown.open.destinationTileTitle.isEmpty());
    EXPECT_TRUE(sink->events.contains("Cloud Action|Log out Google Drive"));

    // Hidden again: a late result changes nothing.
    page->hide();
    Q_EMIT google->GoogleDrive_login(true);
    EXPECT_FALSE(page->hasGoogleLogedIn);
}

TEST_F(CloudViewControllerTest, OneDriveIsSignedInOnlyWithItsEmailAndPhoto)
{
    page->show();
    // The photo does not come in time: the client gives up and the page stays signed out.
    onedriveHook = [](const FakeCloudServer::Request& r) -> std::optional<FakeCloudServer::Response> {
        if (!r.path().endsWith("/photo/$value"))
            return std::nullopt;
        FakeCloudServer::Response late = FakeCloudServer::Response::text("late");
        late.delayMs = 3000;
        return late;
    };
    QTest::mouseClick(control<customizeButton>(control<QWidget>(page, "OneDriveRow"), "signButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->shown().busy; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->shown().busy; }, 5000));
    EXPECT_FALSE(page->hasOneDriveLogedIn);
    EXPECT_EQ(page->currentLoginService, CloudLoginService::none);
}

TEST_F(CloudViewControllerTest, PicksDestinationAndTheirRefusals)
{
    page->show();
    page->currentLoginService = CloudLoginService::onedrive;
    page->updateServiceIcons();
    // A OneDrive folder states the size of its content; that content comes again expanded.
    // The folder picked twice, and a file reached through both, count once.
    const CloudItemPtr folder = item("Photos", "/Photos", "folder", "F1", 1000);
    const CloudItemPtr file = item("a.txt", "/a.txt", "file", "A1", 10);
    const CloudItemPtr inside = item("b.jpg", "/Photos/b.jpg", "file", "B1", 500);
    page->receiveCloudSelection({ folder, file, folder }, { inside, item("b.jpg", "/Photos/b.jpg", "file", "B1", 500) });
    EXPECT_EQ(page->CloudItemArray.size(), 2);
    EXPECT_EQ(page->CloudSubItemArray.size(), 1);
    EXPECT_EQ(page->cloudSourceTotalSize, 510u);
    CloudOpenServiceView::Shown shown = page->shown().open;
    EXPECT_EQ(shown.changeFiles, "Select Files (510.0 byte)");
    EXPECT_TRUE(shown.sourceTileTitle.isEmpty()) << "the picks stand in the tile's place";
    EXPECT_EQ(shown.picks, (QStringList { "/Photos", "/a.txt" }));
    EXPECT_FALSE(shown.backupEnabled); // no destination yet

    page->destinationChosen("/");
    EXPECT_EQ(presenter.shown.takeFirst(), "Error|You can't use the system root directory as destination");
    EXPECT_TRUE(page->destinationUrl.isEmpty());

    // A removable volume whose identity file cannot be written.
    QTemporaryDir media;
    ExternalVolumes::setOverride(QStringList { media.path() }, QStringList { media.path() + "/Disk" });
    page->destinationChosen(media.path() + "/Disk/Folder");
    EXPECT_EQ(presenter.shown.takeFirst(), "Error|\"/Disk/Folder\" as the destination path: Permission denied.");
    EXPECT_TRUE(page->destinationUrl.isEmpty());

    QTemporaryDir dest;
    UtilityFunctions::setFreeSpaceForTests(509);
    page->destinationChosen(dest.path());
    EXPECT_EQ(page->destinationUrl, dest.path());
    shown = page->shown().open;
    EXPECT_EQ(shown.destination, dest.path());
    EXPECT_EQ(shown.destinationButton, "Destination (509.0 byte available)");
    EXPECT_TRUE(shown.backupEnabled);

    // One byte short: refused, and closing the message goes back to the service choice.
    page->cloudBackupClicked();
    EXPECT_EQ(presenter.shown.takeFirst(),
              "Error|Not enough space at the selected destination. Please change a destination.");
    EXPECT_EQ(window.runs, 0);
    page->btnClicked(0);
    EXPECT_TRUE(page->CloudItemArray.isEmpty() && page->destinationUrl.isEmpty());
    EXPECT_EQ(page->currentLoginService, CloudLoginService::none);
    shown = page->shown().open;
    EXPECT_TRUE(shown.picks.isEmpty());
    EXPECT_FALSE(shown.backupEnabled);

    // Equal space passes. Google Drive rows show the route with "/" and stop at a ";".
    page->currentLoginService = CloudLoginService::googleDrive;
    page->updateServiceIcons();
    page->receiveCloudSelection({ item("x", "p/x", "file", "G1", 509, "/A:B/x;y") }, {});
    EXPECT_EQ(page->shown().open.picks, QStringList { "/A/B/x" });
    page->destinationChosen(dest.path());
    page->cloudBackupClicked();
    EXPECT_EQ(window.runs, 1);
    EXPECT_TRUE(presenter.shown.isEmpty());
}

TEST_F(CloudViewControllerTest, RunStartMakesFoldersInsideTheDestinationAndHandsOverFiles)
{
    struct Case {
        CloudLoginService service;
        QList<CloudItemPtr> picks;
        QList<CloudItemPtr> beneath;
        QStringList folders; // what the destination holds afterwards
        QString action;
    };
    const QList<Case> cases {
        { CloudLoginService::dropbox,
          { item("Docs", "/Docs", "folder", "", 0), item("a.txt", "/a.txt", "file", "id:a", 1),
            item("1", "/2021/1", "file", "id:1", 1) },
          { item("b.txt", "/Docs/Deep/b.txt", "file", "id:b", 1), item("Empty", "/Docs/Empty", "folder", "", 0) },
          { "/2021", "/Docs", "/Docs/Deep", "/Docs/Empty" },
          "Do Dropbox backup" },
        // A decoded parent path and a name that climb out of the destination make nothing.
        { CloudLoginService::onedrive,
          { item("1", "/2021/1", "file", "O1", 1), item("x.txt", "/../../escape/x.txt", "file", "O2", 1) },
          { item("..", "/2021/..", "folder", "O3", 0) },
          { "/2021" },
          "Do One Drive backup" },
        { CloudLoginService::googleDrive,
          { item("1", "P/1", "file", "G1", 1, "/2021/1"), item("..", "P/..", "folder", "G2", 0, "/2021/..") },
          { item("c", "P/c", "file", "G3", 1, "/x:y/c") },
          { "/2021", "/x:y" },
          "Do Google Drive backup" },
    };
    UtilityFunctions::setFreeSpaceForTests(1000);
    for (const Case& c : cases) {
        QTemporaryDir outer;
        const QString dest = outer.path() + "/Out";
        ASSERT_TRUE(QDir().mkpath(dest));
        page->currentLoginService = c.service;
        page->updateServiceIcons();
        page->receiveCloudSelection(c.picks, c.beneath);
        page->destinationChosen(dest);
        page->cloudBackupClicked();

        EXPECT_EQ(treeBelow(dest), c.folders) << c.action.toStdString();
        EXPECT_EQ(treeBelow(outer.path()).size(), c.folders.size() + 1); // nothing beside the destination
        EXPECT_EQ(window.destination, dest);
        EXPECT_EQ(window.service, c.service);
        QList<CloudItemPtr> files;
        for (const CloudItemPtr& i : c.picks + c.beneath)
            if (!i->isFolder())
                files << i;
        EXPECT_EQ(window.items, files); // the files only, in order
        EXPECT_TRUE(sink->events.contains("Cloud Action|" + c.action));
        EXPECT_TRUE(page->shown().serviceChoice);
    }
}
