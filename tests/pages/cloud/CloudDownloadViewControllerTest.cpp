#include "CloudDownloadTestCloud.h"
#include "CloudDownloadViewController.h"
#include "CloudItemTableCell.h"
#include "ElidedLabel.h"
#include "MessagePresenter.h"
#include "UtilityFunctions.h"
#include "cloudDownloadListDelegate.h"
#include "messageViewDelegate.h"

#include <QCheckBox>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

struct Receiver : cloudDownloadListDelegate {
    void receiveCloudSelection(const QList<CloudItemPtr>& s, const QList<CloudItemPtr>& e) override
    {
        ++calls;
        selected = s;
        expanded = e;
    }
    int calls = 0;
    QList<CloudItemPtr> selected, expanded;
};

struct Presenter : MessagePresenter {
    Presenter() { UtilityFunctions::setMessagePresenter(this); }
    ~Presenter() override { UtilityFunctions::setMessagePresenter(nullptr); }
    void present(QObject*, const MessageRequest& r, messageViewDelegate* d) override
    {
        requests.append(r);
        delegate = d;
    }
    QList<MessageRequest> requests;
    messageViewDelegate* delegate = nullptr;
};

QStringList names(const QList<CloudItemPtr>& items)
{
    QStringList out;
    for (const CloudItemPtr& i : items)
        out.append(i->name);
    return out;
}

class CloudDownloadViewControllerTest : public ::testing::TestWithParam<CloudLoginService> {
protected:
    CloudDownloadViewControllerTest()
        : cloud(GetParam())
    {
        // /Photos2 and /Photoshop sit next to /Photos: a picked /Photos must hold neither.
        const QString photos = cloud.tree.addFolder("", "Photos");
        cloud.tree.addFile(photos, "a.jpg", "aaaa");
        const QString sub = cloud.tree.addFolder(photos, "sub");
        cloud.tree.addFile(sub, "b.jpg", "bb");
        const QString deep = cloud.tree.addFolder(sub, "deep");
        cloud.tree.addFile(deep, "c.txt", "c");
        const QString photos2 = cloud.tree.addFolder("", "Photos2");
        cloud.tree.addFile(photos2, "d.txt", "dd");
        const QString docs = cloud.tree.addFolder("", "Docs");
        cloud.tree.addFile(docs, "x.txt", "xxx");
        if (GetParam() == CloudLoginService::googleDrive) {
            // Google Drive allows two files of one name in one folder.
            cloud.tree.addFile(docs, "twin.txt", "1");
            cloud.tree.addFile(docs, "twin.txt", "2");
        }
        cloud.tree.addFile("", "top.txt", "top");
        EXPECT_TRUE(cloud.signIn());
    }

    std::unique_ptr<CloudDownloadViewController> open(const QList<CloudItemPtr>& picks = {})
    {
        auto picker = std::make_unique<CloudDownloadViewController>();
        picker->setClients(cloud.dropbox.get(), cloud.google.get(), cloud.onedrive.get());
        picker->setExpansionDelays(CloudExpansionDelays{5, 5, 0, 5000});
        picker->currentService = GetParam();
        picker->cloudFileSelectedList = picks;
        picker->downloadDelegate = &receiver;
        QSignalSpy shown(picker.get(), &CloudDownloadViewController::folderShown);
        picker->show();
        EXPECT_TRUE(shown.wait(5000));
        return picker;
    }

    static int row(const CloudDownloadViewController& p, const QString& name)
    {
        for (int i = 0; i < p.data.size(); ++i)
            if (p.data[i]->name == name)
                return i;
        ADD_FAILURE() << "no row " << name.toStdString();
        return -1;
    }

    // Double-clicks the row's name, as the user does: the press goes through the row view.
    static void openFolder(CloudDownloadViewController& p, const QString& name, bool waitForRows = true)
    {
        QSignalSpy shown(&p, &CloudDownloadViewController::folderShown);
        QWidget* label = p.cellAt(row(p, name))->cloudItemNameLabel;
        QTest::mouseDClick(label, Qt::LeftButton, {}, label->rect().center());
        if (waitForRows) {
            EXPECT_TRUE(shown.wait(5000)) << name.toStdString();
        }
    }

    static void wait(CloudDownloadViewController& p, void (CloudDownloadViewController::*action)())
    {
        QSignalSpy shown(&p, &CloudDownloadViewController::folderShown);
        (p.*action)();
        EXPECT_TRUE(shown.wait(5000));
    }

    static void tick(CloudDownloadViewController& p, const QString& name) { p.cellAt(row(p, name))->cloudItemCheckbox->click(); }

    CloudDownloadTestCloud cloud;
    Receiver receiver;
    Presenter presenter;
};

} // namespace

TEST_P(CloudDownloadViewControllerTest, BrowsesAndLocksWholeFoldersOnly)
{
    auto p = open();
    EXPECT_EQ(names(p->data), QStringList({"Docs", "Photos", "Photos2", "top.txt"}));
    EXPECT_TRUE(!p->shown().back);
    EXPECT_TRUE(p->shown().path.isEmpty());
    EXPECT_EQ(p->cellAt(row(*p, "Photos"))->imageKind(), "folder");
    EXPECT_EQ(p->cellAt(row(*p, "top.txt"))->cloudItemSizeLabel->text(), "3.0 byte");

    tick(*p, "Photos");
    EXPECT_EQ(p->shown().selectedCount, "0 files, 1 folders selected.");

    openFolder(*p, "Photos2");
    EXPECT_FALSE(p->isInSelectedTree);
    EXPECT_TRUE(p->shown().selectAllEnabled);
    ASSERT_EQ(p->shown().path.size(), 2);
    EXPECT_EQ(p->shown().path[0].imageName(), "ic_cloudpicker_home");
    EXPECT_EQ(p->shown().path[1].title, "Photos2");
    EXPECT_FALSE(p->cellAt(0)->cloudItemCheckbox->isChecked());

    wait(*p, &CloudDownloadViewController::folderBackBtnClicked);
    EXPECT_TRUE(p->descendArray.isEmpty());
    EXPECT_TRUE(p->currentFolder.isEmpty());
    EXPECT_TRUE(!p->shown().back);
    EXPECT_TRUE(p->cellAt(row(*p, "Photos"))->cloudItemCheckbox->isChecked()); // the pick survived

    openFolder(*p, "Photos");
    openFolder(*p, "sub");
    EXPECT_TRUE(p->isInSelectedTree);
    EXPECT_FALSE(p->shown().selectAllEnabled);
    EXPECT_FALSE(p->shown().clearAllEnabled);
    for (int i = 0; i < p->numberOfRows(); ++i) {
        EXPECT_TRUE(p->cellAt(i)->cloudItemCheckbox->isChecked());
        EXPECT_FALSE(p->cellAt(i)->cloudItemCheckbox->isEnabled());
    }

    QSignalSpy shown(p.get(), &CloudDownloadViewController::folderShown);
    p->clickPath(0);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_TRUE(p->descendArray.isEmpty());
    EXPECT_FALSE(p->isInSelectedTree);
    EXPECT_TRUE(p->shown().selectAllEnabled);
    EXPECT_EQ(names(p->data).size(), 4);
}

TEST_P(CloudDownloadViewControllerTest, AnAnswerToAnEarlierClickIsDropped)
{
    auto p = open();
    cloud.setDelay(600);
    const qsizetype before = cloud.server.requests().size();
    openFolder(*p, "Docs", false); // the answer is slow
    ASSERT_TRUE(QTest::qWaitFor([&] { return cloud.server.requests().size() > before; }, 5000));
    cloud.setDelay(0);
    wait(*p, &CloudDownloadViewController::folderBackBtnClicked);
    EXPECT_EQ(names(p->data).size(), 4);
    EXPECT_TRUE(cloud.server.settle({ &cloud.manager })); // the Docs answer is in now and must change nothing
    EXPECT_EQ(names(p->data), QStringList({"Docs", "Photos", "Photos2", "top.txt"}));
    EXPECT_TRUE(!p->shown().back);
}

TEST_P(CloudDownloadViewControllerTest, PicksFollowTheRules)
{
    auto p = open();
    openFolder(*p, "Photos2");
    tick(*p, "d.txt");
    wait(*p, &CloudDownloadViewController::folderBackBtnClicked);
    openFolder(*p, "Photos");
    tick(*p, "a.jpg");
    wait(*p, &CloudDownloadViewController::folderBackBtnClicked);

    // Ticking /Photos drops /Photos/a.jpg but not /Photos2/d.txt.
    tick(*p, "Photos");
    EXPECT_EQ(names(p->cloudFileSelectedList), QStringList({"d.txt", "Photos"}));
    EXPECT_EQ(p->shown().selectedCount, "1 files, 1 folders selected.");

    // An item already picked is not picked twice.
    p->cloudItemCheckChanged(1, p->data[row(*p, "Photos")]->id, p->data[row(*p, "Photos")]->path);
    EXPECT_EQ(p->cloudFileSelectedList.size(), 2);

    p->selectAllClicked();
    EXPECT_EQ(names(p->cloudFileSelectedList), QStringList({"d.txt", "Photos", "Docs", "Photos2", "top.txt"}));
    EXPECT_TRUE(p->cellAt(row(*p, "Docs"))->cloudItemCheckbox->isChecked());
    p->clearAllClicked();
    EXPECT_EQ(names(p->cloudFileSelectedList), QStringList({"d.txt"}));
    EXPECT_EQ(p->shown().selectedCount, "1 files, 0 folders selected.");

    tick(*p, "top.txt");
    tick(*p, "top.txt"); // un-ticked again
    EXPECT_EQ(names(p->cloudFileSelectedList), QStringList({"d.txt"}));

    if (GetParam() == CloudLoginService::googleDrive) {
        openFolder(*p, "Docs");
        for (int i = 0; i < p->numberOfRows(); ++i)
            if (p->data[i]->name == "twin.txt")
                p->cellAt(i)->cloudItemCheckbox->click();
        EXPECT_EQ(names(p->cloudFileSelectedList), QStringList({"d.txt", "twin.txt", "twin.txt"}));
    }
}

TEST_P(CloudDownloadViewControllerTest, DoneWalksEveryPickedFolderOnce)
{
    auto p = open();
    openFolder(*p, "Photos");
    tick(*p, "sub");
    wait(*p, &CloudDownloadViewController::folderBackBtnClicked);
    p->selectAllClicked(); // /Photos/sub stays picked beside /Photos
    tick(*p, "Photos2");   // and Photos2 leaves again
    QSignalSpy handed(p.get(), &CloudDownloadViewController::selectionHandedOver);
    p->doneBtnClicked();
    EXPECT_FALSE(p->shown().doneEnabled);
    p->doneBtnClicked(); // harmless while the walk runs
    ASSERT_TRUE(handed.wait(5000));
    EXPECT_EQ(receiver.calls, 1);
    EXPECT_EQ(p->result(), QDialog::Accepted);
    EXPECT_EQ(p->folderUpdatingCounter(), 0);
    EXPECT_TRUE(presenter.requests.isEmpty());
    EXPECT_EQ(names(receiver.selected), QStringList({"sub", "Docs", "Photos", "top.txt"}));
    QStringList found = names(receiver.expanded);
    found.sort();
    QStringList expected{"a.jpg", "b.jpg", "c.txt", "deep", "x.txt"};
    if (GetParam() == CloudLoginService::googleDrive)
        expected << "twin.txt" << "twin.txt"; // two files, both kept
    expected.sort();
    EXPECT_EQ(found, expected);
    for (const CloudItemPtr& item : std::as_const(receiver.expanded)) {
        if (item->name != "c.txt")
            continue;
        if (GetParam() == CloudLoginService::googleDrive)
            EXPECT_EQ(item->googleRoute, "/Photos/sub/deep/c.txt");
        else
            EXPECT_EQ(item->path.toLower(), "/photos/sub/deep/c.txt");
    }
}

TEST_P(CloudDownloadViewControllerTest, AnIncompleteWalkWarnsBeforeHandingOver)
{
    auto p = open();
    tick(*p, "Photos");
    cloud.failSecondPages();
    p->doneBtnClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !presenter.requests.isEmpty(); }, 5000));
    EXPECT_TRUE(presenter.requests[0].showSecondBtn);
    EXPECT_TRUE(presenter.requests[0].message.contains("/Photos")) << presenter.requests[0].message.toStdString();
    EXPECT_EQ(receiver.calls, 0);
    presenter.delegate->btnClicked(1); // back to picking
    EXPECT_TRUE(p->isVisible());
    EXPECT_TRUE(p->shown().doneEnabled);

    // A listing that never answers ends the walk too, and Continue hands over what was found.
    cloud.setDelay(60000);
    p->setExpansionDelays(CloudExpansionDelays{5, 5, 0, 300});
    QSignalSpy handed(p.get(), &CloudDownloadViewController::selectionHandedOver);
    p->doneBtnClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return presenter.requests.size() == 2; }, 5000));
    EXPECT_TRUE(presenter.requests[1].message.contains("stopped answering"));
    presenter.delegate->btnClicked(0);
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(names(receiver.selected), QStringList({"Photos"}));
    EXPECT_TRUE(receiver.expanded.isEmpty());
    EXPECT_FALSE(p->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Services, CloudDownloadViewControllerTest,
                         ::testing::Values(CloudLoginService::dropbox, CloudLoginService::googleDrive,
                                           CloudLoginService::onedrive),
                         [](const ::testing::TestParamInfo<CloudLoginService>& info) {
                             switch (info.param) {
                             case CloudLoginService::dropbox:
                                 return std::string("Dropbox");
                             case CloudLoginService::googleDrive:
                                 return std::string("GoogleDrive");
                             default:
                                 return std::string("OneDrive");
                             }
                         });
