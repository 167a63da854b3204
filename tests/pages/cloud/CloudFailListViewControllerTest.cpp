#include "CloudFailListDelegate.h"
#include "CloudFailListViewController.h"
#include "CloudProgressTestCloud.h"
#include "ElidedLabel.h"
#include "MessagePresenter.h"
#include "UtilityFunctions.h"
#include "customizeButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

struct RecordingDelegate : CloudFailListDelegate {
    QStringList calls;
    QList<CloudItemPtr> items;
    void resetProgressView() override { calls << "reset"; }
    void doCloudDownload(const QList<CloudItemPtr>& list, const QString& destination, CloudLoginService service) override
    {
        calls << QStringLiteral("download %1 %2").arg(destination).arg(int(service));
        items = list;
    }
    QString doDownloadUrl() const override { return "/media/ann/Disk/Out"; }
    std::optional<CloudLoginService> currentService() const override { return CloudLoginService::googleDrive; }
};

struct RecordingPresenter : MessagePresenter {
    QStringList messages;
    void present(QObject*, const MessageRequest& request, messageViewDelegate*) override
    {
        messages << request.imageName + ": " + request.message;
    }
};

CloudItemPtr entry(const QString& name, quint64 size)
{
    auto item = std::make_shared<CloudItemClass>(name, "/Docs/" + name, "file", "id-" + name, size, "2021-03-04 05:06:07",
                                                 "", "/Work/" + name);
    item->downloadFailIssue = "fail";
    return item;
}

} // namespace

// Ticks in any order, all and none; the download button follows them and re-downloads the ticked
// entries in the order they were ticked.
TEST(CloudFailList, TicksSelectAllAndReDownloadInTickOrder)
{
    RecordingDelegate run;
    auto* list = new CloudFailListViewController;
    QPointer<CloudFailListViewController> guard(list);
    for (int i = 0; i < 5; ++i)
        list->dataArray << entry(QStringLiteral("f%1.txt").arg(i), i == 0 ? 1536 : 10);
    list->service = CloudLoginService::googleDrive;
    list->delegate = &run;
    list->present();
    ASSERT_EQ(list->shown().rows.size(), 5);
    const QStringList first = list->shown().rows.at(0);
    EXPECT_EQ(first.at(0), "/Work/f0.txt") << "Google Drive shows the route";
    EXPECT_EQ(first.at(2), "1.5 KB");
    EXPECT_FALSE(list->shown().downloadEnabled);

    list->checkBoxOfRow(2)->click();
    list->checkBoxOfRow(2)->click();
    EXPECT_FALSE(list->shown().downloadEnabled) << "ticked twice is unticked";
    list->selectAllItems();
    EXPECT_EQ(list->selectRowArray, (QList<qint64>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(list->shown().downloadEnabled);
    list->deSelectAllItems();
    EXPECT_FALSE(list->shown().downloadEnabled);

    for (int row : {3, 1, 2})
        list->checkBoxOfRow(row)->click();
    ASSERT_TRUE(list->shown().downloadEnabled);
    list->doReDownload();
    EXPECT_EQ(run.calls, (QStringList{"reset", "download /media/ann/Disk/Out 2"}));
    ASSERT_EQ(run.items.size(), 3);
    EXPECT_EQ(run.items[0]->name, "f3.txt");
    EXPECT_EQ(run.items[1]->name, "f1.txt");
    EXPECT_EQ(run.items[2]->name, "f2.txt");
    EXPECT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }, 2000)) << "the window closes itself";
}

// From the run screen: a run with a failed file, "More Details", the ticked file fetched again
// on the same screen; a run where all succeeded answers "More Details" with a message.
TEST(CloudFailList, ReDownloadsTheTickedFilesOfARun)
{
    RecordingPresenter presenter;
    UtilityFunctions::setMessagePresenter(&presenter);
    CloudProgressTestCloud cloud;
    cloud.tree.addFile(cloud.tree.addFolder({}, "Docs"), "a.txt", "alpha");
    cloud.tree.addFile({}, "b.txt", "beta");
    ASSERT_TRUE(cloud.start());
    QTemporaryDir dest;
    cloud.dropboxRoutes.failPath = "/b.txt";
    ASSERT_TRUE(cloud.download(cloud.files(CloudLoginService::dropbox), dest.path(), CloudLoginService::dropbox));
    EXPECT_EQ(cloud.run->shown().firstValue, "1/2");

    CloudFailListViewController* list = cloud.run->failBtnClick();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->shown().rows.size(), 1);
    EXPECT_EQ(list->shown().rows.at(0).at(0), "/b.txt");
    EXPECT_FALSE(list->shown().rows.at(0).at(3).isEmpty());

    cloud.dropboxRoutes.failPath.clear();
    list->checkBoxOfRow(0)->click();
    QSignalSpy finished(cloud.run.get(), &CloudProgressViewController::runFinished);
    list->doReDownload();
    EXPECT_EQ(cloud.run->shown().headline, "Backing up... (1/1)");
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(cloud.run->shown().firstValue, "1/1");
    EXPECT_EQ(CloudProgressTestCloud::contents(dest.path()),
              (QMap<QString, QByteArray>{{"/Docs/a.txt", "alpha"}, {"/b.txt", "beta"}}));

    EXPECT_EQ(cloud.run->failBtnClick(), nullptr);
    EXPECT_EQ(presenter.messages, QStringList{"ic_log_success: Download all success."});
    UtilityFunctions::setMessagePresenter(nullptr);
}
