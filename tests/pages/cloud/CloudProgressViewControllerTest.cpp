#include "CloudFailListViewController.h"
#include "CloudProgressTestCloud.h"
#include "ElidedLabel.h"
#include "customizeButton.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray noise(int size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (char& c : out)
        c = char(gen.generate());
    return out;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

class CloudProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dest.isValid());
        const QString y = cloud.tree.addFolder({}, "2021");
        cloud.tree.addFile(y, "1", "the one in 2021");
        const QString photos = cloud.tree.addFolder(y, "Photos");
        cloud.tree.addFile(photos, "a.jpg", noise(200000, 1));
        const QString deep = cloud.tree.addFolder(cloud.tree.addFolder({}, "Docs"), "deep er");
        cloud.tree.addFile(deep, "x y.txt", "deep text");
        cloud.tree.addFile({}, "top.txt", "fresh top");
        cloud.tree.addFile({}, "empty.bin", QByteArray());
        ASSERT_TRUE(cloud.start());
    }

    QString summary() const
    {
        return cloud.run->shown().firstValue + " fail " + cloud.run->shown().secondValue;
    }

    CloudProgressTestCloud cloud;
    QTemporaryDir dest;
};

} // namespace

// Each service brings the whole tree down byte for byte, replaces an older file, leaves nothing
// temporary behind, and lets the display sleep again once the run is over.
TEST_F(CloudProgressTest, EachServiceRebuildsTheTreeByteExact)
{
    const QMap<QString, QByteArray> expected{
        {"/2021/1", "the one in 2021"},  {"/2021/Photos/a.jpg", noise(200000, 1)}, {"/Docs/deep er/x y.txt", "deep text"},
        {"/top.txt", "fresh top"},       {"/empty.bin", QByteArray()},
    };
    for (CloudLoginService service : {CloudLoginService::dropbox, CloudLoginService::googleDrive, CloudLoginService::onedrive}) {
        SCOPED_TRACE(int(service));
        QTemporaryDir out;
        writeFile(out.path() + "/top.txt", "older top");
        const QList<CloudItemPtr> items = cloud.files(service);
        ASSERT_EQ(items.size(), 5);

        QSignalSpy finished(cloud.run.get(), &CloudProgressViewController::runFinished);
        cloud.run->doCloudDownload(items, out.path(), service);
        EXPECT_TRUE(cloud.inhibitor->isRequested());
        EXPECT_EQ(cloud.run->shown().headline, "Backing up... (1/5)");
        ASSERT_TRUE(finished.wait(20000));

        EXPECT_EQ(CloudProgressTestCloud::contents(out.path()), expected);
        EXPECT_EQ(summary(), "5/5 fail 0");
        EXPECT_EQ(cloud.run->shown().button, "Done");
        EXPECT_FALSE(cloud.inhibitor->isRequested());
        EXPECT_EQ(cloud.run->failBtnClick(), nullptr) << "nothing failed: a message instead of the list";
        cloud.run->stopDownload(); // Done
        EXPECT_EQ(cloud.run->shown().button, "Stop");
    }
}

// Names that would leave the destination, error pages and broken connections fail their file
// only: nothing lands outside, no error page becomes a file, an older file stays as it was.
TEST_F(CloudProgressTest, UnsafeNamesErrorPagesAndDroppedConnectionsWriteNothing)
{
    const QString out = dest.path() + "/out";
    QDir().mkpath(out);
    auto google = std::make_shared<CloudItemClass>("..", "/..", "file", "e5", 5, "", "", "/..");
    QJsonObject parsed{{"id", "e9"}, {"name", "evil.txt"}, {"size", 9},
                       {"parentReference", QJsonObject{{"path", "/drive/root:/%2E%2E/%2E%2E"}}},
                       {"@microsoft.graph.downloadUrl", cloud.onedriveServer.baseUrl().toString() + "/standin/onedrive/content/e8"}};
    const CloudItemPtr onedrive = OneDriveWorker::parseItem(parsed);
    ASSERT_EQ(onedrive->path, "/../../evil.txt");
    ASSERT_TRUE(cloud.download({google}, out, CloudLoginService::googleDrive));
    ASSERT_TRUE(cloud.download({onedrive}, out, CloudLoginService::onedrive));
    EXPECT_EQ(summary(), "0/1 fail 1");
    EXPECT_FALSE(onedrive->downloadFailIssue.isEmpty());
    EXPECT_TRUE(CloudProgressTestCloud::contents(dest.path()).isEmpty());
    EXPECT_EQ(cloud.requestsTo(cloud.onedriveServer, "/content/"), 0);

    // A 403 with a body: the address is renewed once, then the file fails.
    writeFile(out + "/top.txt", "older top");
    cloud.onedriveRoutes.failPath = "/top.txt";
    cloud.onedriveRoutes.failStatus = 403;
    QList<CloudItemPtr> top = cloud.files(CloudLoginService::onedrive);
    top.removeIf([](const CloudItemPtr& i) { return i->name != "top.txt"; });
    ASSERT_TRUE(cloud.download(top, out, CloudLoginService::onedrive));
    EXPECT_EQ(cloud.requestsTo(cloud.onedriveServer, "/content/"), 2);
    EXPECT_TRUE(top.first()->downloadFailIssue.contains("403"));
    EXPECT_EQ(CloudProgressTestCloud::contents(out), (QMap<QString, QByteArray>{{"/top.txt", "older top"}}));

    // The connection ends in the middle of the body.
    cloud.onedriveRoutes.failPath.clear();
    cloud.onedriveRoutes.dropAfter = cloud.googleRoutes.dropAfter = 1000;
    writeFile(out + "/2021/Photos/a.jpg", "older photo");
    for (CloudLoginService service : {CloudLoginService::googleDrive, CloudLoginService::onedrive}) {
        QList<CloudItemPtr> photo = cloud.files(service);
        photo.removeIf([](const CloudItemPtr& i) { return i->name != "a.jpg"; });
        ASSERT_TRUE(cloud.download(photo, out, service));
        EXPECT_EQ(summary(), "0/1 fail 1");
    }
    EXPECT_EQ(CloudProgressTestCloud::contents(out),
              (QMap<QString, QByteArray>{{"/top.txt", "older top"}, {"/2021/Photos/a.jpg", "older photo"}}));
}

// Stop in the middle of the third of five files keeps its older copy and lists the third to
// fifth as cancelled; Stop during a Google Drive 401 wait sends nothing more.
TEST_F(CloudProgressTest, StopKeepsTheOlderFileAndListsWhatIsLeft)
{
    cloud.tree.addFile({}, "big.bin", noise(16 << 20, 2));
    QList<CloudItemPtr> items = cloud.files(CloudLoginService::googleDrive);
    const auto big = std::find_if(items.begin(), items.end(), [](const CloudItemPtr& i) { return i->name == "big.bin"; });
    items.move(big - items.begin(), 2);
    writeFile(dest.path() + "/big.bin", "older big");

    QObject::connect(cloud.run.get(), &CloudProgressViewController::progressShown, cloud.run.get(),
                     [&](double, qint64 receivedOfCurrentFile) {
                         if (cloud.run->isRunning() && cloud.run->shown().headline.endsWith("(3/6)")
                             && receivedOfCurrentFile > 0)
                             cloud.run->stopDownload();
                     });
    ASSERT_TRUE(cloud.download(items, dest.path(), CloudLoginService::googleDrive));
    EXPECT_TRUE(cloud.googleServer.settle({ &cloud.manager })); // what was on the wire is in and changes nothing
    EXPECT_EQ(summary(), "2/6 fail 4");
    EXPECT_FALSE(cloud.inhibitor->isRequested());
    ASSERT_EQ(cloud.run->failCloudItemArray().size(), 4);
    EXPECT_EQ(cloud.run->failCloudItemArray().first()->name, "big.bin");
    for (const CloudItemPtr& item : std::as_const(cloud.run->failCloudItemArray()))
        EXPECT_EQ(item->downloadFailIssue, "Download is canceled");
    const QMap<QString, QByteArray> left = CloudProgressTestCloud::contents(dest.path());
    EXPECT_EQ(left.value("/big.bin"), "older big");
    EXPECT_EQ(left.size(), 3) << QStringList(left.keys()).join(' ').toStdString();
    cloud.run->stopDownload();

    // Every content request answers 401: bounded retries, then Stop in the wait.
    int refused = 0;
    FakeCloudServer lockedOut;
    ASSERT_TRUE(lockedOut.listen());
    lockedOut.addHandler([&](const FakeCloudServer::Request&) {
        ++refused;
        return FakeCloudServer::Response::json(QJsonObject{{"error", QJsonObject{{"code", 401}}}}, 401);
    });
    GoogleDriveConstant constant = cloud.google->constant();
    constant.endpoint = lockedOut.baseUrl().toString() + "/drive/v3/files";
    GoogleDriveWorker refusing(constant, {}, &cloud.manager);
    cloud.run->setClients(cloud.dropbox.get(), &refusing, cloud.onedrive.get());
    const CloudItemPtr one = items.first();
    ASSERT_TRUE(cloud.download({one}, dest.path(), CloudLoginService::googleDrive));
    EXPECT_EQ(refused, 1 + cloud.run->limits().authRetryLimit);
    EXPECT_EQ(summary(), "0/1 fail 1");

    refused = 0;
    cloud.run->limits().authRetryMs = 60 * 1000; // the wait outlasts the test
    cloud.run->doCloudDownload({one, items.last()}, dest.path(), CloudLoginService::googleDrive);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cloud.run->isWaitingToRetry(); }, 5000));
    cloud.run->stopDownload();
    EXPECT_FALSE(cloud.run->isWaitingToRetry());
    EXPECT_TRUE(lockedOut.settle({ &cloud.manager }));
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(summary(), "0/2 fail 2");
    EXPECT_EQ(cloud.run->failCloudItemArray().size(), 2);
}

// Runs that cannot fetch anything still end; zero-byte runs show 0 % and no estimate.
TEST_F(CloudProgressTest, EveryRunEndsAndTheFiguresStayFinite)
{
    ASSERT_TRUE(cloud.download({}, dest.path(), CloudLoginService::dropbox));
    EXPECT_EQ(summary(), "0/0 fail 0");

    const QList<CloudItemPtr> items = cloud.files(CloudLoginService::dropbox);
    ASSERT_TRUE(cloud.download(items, QString(), CloudLoginService::dropbox));
    EXPECT_EQ(summary(), "0/5 fail 5");
    for (const CloudItemPtr& item : items)
        EXPECT_EQ(item->downloadFailIssue, "Destination not exists");

    QList<CloudItemPtr> empty = items;
    empty.removeIf([](const CloudItemPtr& i) { return i->size != 0; });
    QList<double> bar;
    QObject::connect(cloud.run.get(), &CloudProgressViewController::progressShown,
                     [&](double percent, qint64) { bar << percent; });
    cloud.run->doCloudDownload(empty + empty, dest.path(), CloudLoginService::dropbox);
    EXPECT_EQ(cloud.run->shown().headline, "Backing up... (1/1)") << "the same record twice is fetched once";
    EXPECT_EQ(cloud.run->shown().progress, "0.0%");
    EXPECT_EQ(cloud.run->shown().timeLeft, "--:--:--");
    ASSERT_TRUE(QSignalSpy(cloud.run.get(), &CloudProgressViewController::runFinished).wait(5000));
    EXPECT_EQ(summary(), "1/1 fail 0");
    for (double v : bar)
        EXPECT_TRUE(v >= 0 && v <= 100) << v;
}

// Two Google Drive files of one name in one folder both land; each keeps its own name on a
// later fetch of the failed list.
TEST_F(CloudProgressTest, SameNamedGoogleFilesBothLand)
{
    const QString folder = cloud.tree.addFolder({}, "Twins");
    cloud.tree.addFile(folder, "dup.txt", "first");
    cloud.tree.addFile(folder, "dup.txt", "second");
    QList<CloudItemPtr> items = cloud.files(CloudLoginService::googleDrive);
    items.removeIf([](const CloudItemPtr& i) { return i->name != "dup.txt"; });
    ASSERT_EQ(items.size(), 2);
    ASSERT_TRUE(cloud.download(items, dest.path(), CloudLoginService::googleDrive));
    const QMap<QString, QByteArray> landed = CloudProgressTestCloud::contents(dest.path());
    EXPECT_EQ(landed.keys(), (QStringList{"/Twins/dup (2).txt", "/Twins/dup.txt"}));
    QByteArrayList values = landed.values();
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (QByteArrayList{"first", "second"}));
    ASSERT_TRUE(cloud.download({items.last()}, dest.path(), CloudLoginService::googleDrive));
    EXPECT_EQ(CloudProgressTestCloud::contents(dest.path()), landed);
}
