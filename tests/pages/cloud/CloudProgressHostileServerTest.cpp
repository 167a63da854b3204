// The download run against a stand-in cloud that misbehaves: redirects, bodies larger than
// listed, rate limits, tokens that stop working, files the service will not hand out.
#include "CloudFileDownload.h"
#include "CloudFolderLister.h"
#include "CloudProgressTestCloud.h"
#include "CloudRateLimit.h"
#include "ElidedLabel.h"
#include "LogCapture.h"
#include "MessagePresenter.h"
#include "UtilityFunctions.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr CloudLoginService kServices[] = {CloudLoginService::dropbox, CloudLoginService::googleDrive,
                                           CloudLoginService::onedrive};

struct RecordingPresenter : MessagePresenter {
    QStringList messages;
    void present(QObject*, const MessageRequest& request, messageViewDelegate*) override
    {
        messages << request.imageName + ": " + request.message;
    }
};

class CloudProgressHostileServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dest.isValid());
        cloud.tree.addFile({}, "a.txt", "alpha");
        cloud.tree.addFile(cloud.tree.addFolder({}, "Docs"), "b.txt", "bravo");
        cloud.tree.addFile({}, "c.txt", "charlie");
        ASSERT_TRUE(cloud.start());
        UtilityFunctions::setMessagePresenter(&presenter);
    }
    void TearDown() override { UtilityFunctions::setMessagePresenter(nullptr); }

    FakeCloudRoutes& routes(CloudLoginService service)
    {
        if (service == CloudLoginService::dropbox)
            return cloud.dropboxRoutes;
        if (service == CloudLoginService::googleDrive)
            return cloud.googleRoutes;
        return cloud.onedriveRoutes;
    }
    const FakeCloudServer& server(CloudLoginService service) const
    {
        if (service == CloudLoginService::dropbox)
            return cloud.dropboxServer;
        if (service == CloudLoginService::googleDrive)
            return cloud.googleServer;
        return cloud.onedriveServer;
    }
    // Requests for file content that reached the service.
    int contentRequests(CloudLoginService service) const
    {
        if (service == CloudLoginService::dropbox)
            return cloud.requestsTo(cloud.dropboxServer, "/2/files/download");
        if (service == CloudLoginService::googleDrive) {
            int n = 0;
            for (const FakeCloudServer::Request& r : cloud.googleServer.requests())
                n += r.query().queryItemValue("alt") == "media" ? 1 : 0;
            return n;
        }
        return cloud.requestsTo(cloud.onedriveServer, "/standin/onedrive/content/");
    }
    QList<CloudItemPtr> only(CloudLoginService service, const QString& name)
    {
        QList<CloudItemPtr> items = cloud.files(service);
        items.removeIf([&](const CloudItemPtr& i) { return i->name != name; });
        return items;
    }
    QString summary() const { return cloud.run->shown().firstValue + " fail " + cloud.run->shown().secondValue; }
    bool summaryShows(const QString& image) const
    {
        return cloud.run->shown().statusImage == image;
    }
    void writeOlder(const QString& name)
    {
        QFile f(dest.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("older");
    }

    CloudProgressTestCloud cloud;
    QTemporaryDir dest;
    RecordingPresenter presenter;
};

} // namespace

// A redirect to another host gets no token from any client: listings end incomplete, and a
// Dropbox or Google Drive download fails its file without the other host's body being kept.
TEST_F(CloudProgressHostileServerTest, RedirectsElsewhereCarryNoTokenAndFailTheFile)
{
    FakeCloudServer elsewhere;
    ASSERT_TRUE(elsewhere.listen());
    elsewhere.addHandler([](const FakeCloudServer::Request&) { return FakeCloudServer::Response::text("not yours"); });
    CloudFolderLister lister;
    lister.setClients(cloud.dropbox.get(), cloud.google.get(), cloud.onedrive.get());
    writeOlder("a.txt");

    for (CloudLoginService service : kServices) {
        SCOPED_TRACE(int(service));
        const QList<CloudItemPtr> items = only(service, "a.txt");
        ASSERT_EQ(items.size(), 1);
        routes(service).redirectTo = elsewhere.baseUrl();

        std::optional<bool> complete;
        lister.list(service, QString(), QString(), QString(), [&](const QList<CloudItemPtr>&, bool ok) { complete = ok; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return complete.has_value(); }, 5000));
        EXPECT_FALSE(*complete);

        // OneDrive's download addresses carry no token; they may lead anywhere.
        if (service != CloudLoginService::onedrive) {
            ASSERT_TRUE(cloud.download(items, dest.path(), service));
            EXPECT_EQ(summary(), "0/1 fail 1");
            EXPECT_FALSE(items.first()->downloadFailIssue.isEmpty());
        }
        routes(service).redirectTo = QUrl();
    }
    for (const FakeCloudServer::Request& r : elsewhere.requests())
        EXPECT_TRUE(r.header("authorization").isEmpty()) << r.target.constData();
    EXPECT_TRUE(elsewhere.requests().isEmpty());
    EXPECT_EQ(CloudProgressTestCloud::contents(dest.path()), (QMap<QString, QByteArray>{{"/a.txt", "older"}}));
}

// One byte more than listed fails the file with a remark that says so, whether the length was
// announced or not; nothing of it stays, an older copy is kept, and a run that brought nothing
// down shows the failure image.
TEST_F(CloudProgressHostileServerTest, BodiesLargerThanListedFailTheFileAndLeaveNothing)
{
    writeOlder("a.txt");
    for (CloudLoginService service : kServices) {
        for (bool announced : {true, false}) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(int(service)).arg(announced).toStdString());
            const QList<CloudItemPtr> items = only(service, "a.txt");
            routes(service).padding = QByteArray(200000, '!');
            routes(service).hideLength = !announced;
            ASSERT_TRUE(cloud.download(items, dest.path(), service));
            EXPECT_EQ(summary(), "0/1 fail 1");
            EXPECT_EQ(items.first()->downloadFailIssue, CloudFileDownload::oversizeRemark(5));
            EXPECT_TRUE(summaryShows("ic_log_fail"));
            EXPECT_EQ(CloudProgressTestCloud::contents(dest.path()), (QMap<QString, QByteArray>{{"/a.txt", "older"}}));
            cloud.run->stopDownload(); // Done
        }
        routes(service).padding.clear();
        routes(service).hideLength = false;
    }

    // The size as listed is fine, announced or not.
    cloud.googleRoutes.hideLength = true;
    ASSERT_TRUE(cloud.download(only(CloudLoginService::googleDrive, "a.txt"), dest.path(), CloudLoginService::googleDrive));
    EXPECT_EQ(summary(), "1/1 fail 0");
    EXPECT_TRUE(summaryShows("ic_log_success"));
    EXPECT_EQ(CloudProgressTestCloud::contents(dest.path()), (QMap<QString, QByteArray>{{"/a.txt", "alpha"}}));
}

// "Too many requests" is waited out as the service asks, a bounded number of times; a service
// that never stops saying it fails the file with a remark a person understands.
TEST_F(CloudProgressHostileServerTest, RateLimitsAreWaitedOutThenGivenUp)
{
    LogCapture log;
    const QString older = dest.filePath("a.txt");
    for (CloudLoginService service : kServices) {
        SCOPED_TRACE(int(service));
        const QList<CloudItemPtr> items = only(service, "a.txt");
        QFile::remove(older);

        routes(service).throttle = 2;
        const int before = contentRequests(service);
        ASSERT_TRUE(cloud.download(items, dest.path(), service));
        EXPECT_EQ(summary(), "1/1 fail 0");
        EXPECT_EQ(contentRequests(service) - before, 3);
        EXPECT_EQ(CloudProgressTestCloud::contents(dest.path()), (QMap<QString, QByteArray>{{"/a.txt", "alpha"}}));
        cloud.run->stopDownload();

        QFile::remove(older);
        routes(service).throttle = -1;
        const int second = contentRequests(service);
        ASSERT_TRUE(cloud.download(items, dest.path(), service));
        EXPECT_EQ(summary(), "0/1 fail 1");
        EXPECT_EQ(items.first()->downloadFailIssue, CloudRateLimit::remark());
        EXPECT_EQ(contentRequests(service) - second, cloud.run->limits().rateLimit.tries);
        EXPECT_TRUE(CloudProgressTestCloud::contents(dest.path()).isEmpty());
        routes(service).throttle = 0;
        cloud.run->stopDownload();
    }
    // The error pages are logged with what went wrong, never with what they echo.
    EXPECT_TRUE(log.text().contains("Slow down.")) << log.text().toStdString();
    EXPECT_FALSE(log.text().contains("echoed-secret"));

    // However long the service asks for, a pause is held to the cap.
    CloudRateLimit limit;
    EXPECT_EQ(limit.pause(1, "86400"), limit.maxWaitMs);
    EXPECT_EQ(limit.pause(1, "3"), 3000);
    EXPECT_EQ(limit.pause(limit.tries, "3"), std::nullopt);
}

// Once the service refuses the renewal too, the run stops asking: what is left is listed as
// not downloaded and one message asks the user to sign in again.
TEST_F(CloudProgressHostileServerTest, AnExpiredSignInEndsTheRunWithOneMessage)
{
    for (CloudLoginService service : {CloudLoginService::dropbox, CloudLoginService::googleDrive}) {
        SCOPED_TRACE(int(service));
        presenter.messages.clear();
        const QList<CloudItemPtr> items = cloud.files(service);
        ASSERT_EQ(items.size(), 3);
        if (service == CloudLoginService::dropbox)
            cloud.dropboxRoutes.revokeAllTokens();
        else
            cloud.googleRoutes.revokeAllTokens();
        const int before = contentRequests(service);
        ASSERT_TRUE(cloud.download(items, dest.path(), service));
        EXPECT_EQ(summary(), "0/3 fail 3");
        EXPECT_TRUE(summaryShows("ic_log_fail"));
        const QString name = service == CloudLoginService::dropbox ? "Dropbox" : "Google Drive";
        for (const CloudItemPtr& item : items)
            EXPECT_EQ(item->downloadFailIssue, "Not downloaded: the " + name + " sign-in has expired.");
        ASSERT_EQ(presenter.messages.size(), 1);
        EXPECT_TRUE(presenter.messages.first().contains("sign in again")) << presenter.messages.first().toStdString();
        // The first file finds out; the others are not tried.
        EXPECT_LE(contentRequests(service) - before, 1 + cloud.run->limits().authRetryLimit);
        EXPECT_TRUE(CloudProgressTestCloud::contents(dest.path()).isEmpty());
        cloud.run->stopDownload();
    }
    EXPECT_TRUE(cloud.dropbox->signInExpired());
    EXPECT_TRUE(cloud.google->signInExpired());
}

// A file Dropbox lists as not downloadable is listed as failed with a remark that says so,
// and never asked for.
TEST_F(CloudProgressHostileServerTest, FilesDropboxWillNotHandOutAreListedNotTried)
{
    cloud.dropboxRoutes.notDownloadable.insert("/Docs/b.txt");
    const QList<CloudItemPtr> items = cloud.files(CloudLoginService::dropbox);
    ASSERT_EQ(items.size(), 3);
    ASSERT_TRUE(cloud.download(items, dest.path(), CloudLoginService::dropbox));
    EXPECT_EQ(summary(), "2/3 fail 1");
    ASSERT_EQ(cloud.run->failCloudItemArray().size(), 1);
    const CloudItemPtr refused = cloud.run->failCloudItemArray().first();
    EXPECT_EQ(refused->path, "/Docs/b.txt");
    EXPECT_TRUE(refused->downloadFailIssue.contains("cannot be downloaded")) << refused->downloadFailIssue.toStdString();
    EXPECT_EQ(contentRequests(CloudLoginService::dropbox), 2);
    EXPECT_TRUE(summaryShows("ic_log_success"));
}
