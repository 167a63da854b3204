#include "ElidedLabel.h"
#include "RestoreTableRowView.h"
#include "RestoreViewController.h"
#include "TaskPagesTestSupport.h"
#include "customizeButton.h"
#include "myMoreInfoBtn.h"
#include "restoreTableCell.h"

#include <QLabel>

using namespace taskpages;

using RestorePageTest = TaskPageFixture<RestoreViewController>;

TEST_F(RestorePageTest, StartsEmptyAndAsksTheMainWindowForItsList)
{
    EXPECT_TRUE(page.tableData.isEmpty());
    page.reloadTaskTable();
    drainMainQueue();
    EXPECT_EQ(page.rowCount(), 0);
    page.embed(&main);
    ASSERT_EQ(main.restores.size(), 1u);
    EXPECT_EQ(main.restores[0].taskName, "");
    EXPECT_EQ(main.restores[0].action, "Update");
    page.show();
    ASSERT_FALSE(sink->screens.empty());
    EXPECT_EQ(sink->screens.back(), "Restore View");
}

TEST_F(RestorePageTest, ListsExactlyWhatItIsGiven)
{
    page.embed(&main);
    page.show();
    load({ makeTask("Copy", 1, 1, 1536, "/media/ann/Disk/B;UUID-1"), makeTask("Zip", 2, 1, 5LL << 30),
           makeTask("Locked", 3, 1, 0) });
    ASSERT_EQ(page.rowCount(), 3);
    restoreTableCell* c0 = page.cellAt(0);
    EXPECT_EQ(c0->cellTaskNameLabel->text(), "Copy");
    EXPECT_EQ(c0->cellDestLabel->text(), "/media/ann/Disk/B");
    EXPECT_EQ(c0->cellTotalSizeLabel->text(), "1.5 KB");
    EXPECT_EQ(c0->cellCompressLabel->text(), "No");
    EXPECT_EQ(c0->cellEncryptLabel->text(), "No");
    EXPECT_EQ(c0->statusImageName(), "ic_restore_grey");
    EXPECT_EQ(page.cellAt(1)->cellTotalSizeLabel->text(), "5.0 GB");
    EXPECT_EQ(page.cellAt(1)->cellCompressLabel->text(), "Yes");
    EXPECT_EQ(page.cellAt(1)->cellEncryptLabel->text(), "No");
    EXPECT_EQ(page.cellAt(2)->cellTotalSizeLabel->text(), "0 Byte");
    EXPECT_EQ(page.cellAt(2)->cellEncryptLabel->text(), "Yes");
    EXPECT_EQ(page.cellAt(2)->statusImageName(), "ic_restore_lock_grey");

    load({});
    EXPECT_EQ(page.rowCount(), 0);
}

TEST_F(RestorePageTest, RestoreAsksFirstThenRestoresTheTaskByNameAfterARefresh)
{
    page.embed(&main);
    page.show();
    auto a = makeTask("A", 1, 1), b = makeTask("B", 2, 1);
    load({ a, b });
    main.restores.clear();

    QTest::mouseClick(page.cellAt(0)->restoreBtn, Qt::LeftButton);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_TRUE(presenter.requests[0].showSecondBtn);
    EXPECT_TRUE(main.restores.empty());
    presenter.answer(1); // declined
    EXPECT_TRUE(main.restores.empty());

    QTest::mouseClick(page.cellAt(0)->restoreBtn, Qt::LeftButton);
    load({ b, a }); // refreshed while the question is up
    presenter.answer(0);
    ASSERT_EQ(main.restores.size(), 1u);
    EXPECT_EQ(main.restores[0].taskName, "A");
    EXPECT_EQ(main.restores[0].action, "Restore");

    // The row drawn for B now sits first; a row whose task is gone does nothing.
    QTest::mouseClick(page.cellAt(0)->restoreBtn, Qt::LeftButton);
    page.setTableData({ a });
    presenter.answer(0);
    EXPECT_EQ(main.restores.size(), 1u);
}

TEST_F(RestorePageTest, EncryptedTaskGoesStraightToItsPasswordQuestion)
{
    page.embed(&main);
    page.show();
    load({ makeTask("Locked", 3, 1) });
    main.restores.clear();
    QTest::mouseClick(page.cellAt(0)->restoreBtn, Qt::LeftButton);
    EXPECT_TRUE(presenter.requests.empty());
    ASSERT_EQ(main.restores.size(), 1u);
    EXPECT_EQ(main.restores[0].taskName, "Locked");
    EXPECT_EQ(main.restores[0].action, "Restore");
}

TEST_F(RestorePageTest, OneFoldOutAtATime)
{
    page.show();
    load({ makeTask("A", 1, 1), makeTask("B", 1, 1) });
    QTest::mouseClick(page.cellAt(0)->moreInfoBtn, Qt::LeftButton);
    drainMainQueue();
    EXPECT_EQ(page.rowOfMoreInfo(), 0);
    EXPECT_EQ(page.rowViewAt(0)->minimumHeight(), 160);
    EXPECT_EQ(page.rowViewAt(1)->minimumHeight(), 80);
    QTest::mouseClick(page.cellAt(1)->moreInfoBtn, Qt::LeftButton);
    drainMainQueue();
    EXPECT_EQ(page.rowViewAt(0)->minimumHeight(), 80);
    EXPECT_EQ(page.rowViewAt(1)->minimumHeight(), 160);
    QTest::mouseClick(page.cellAt(1)->moreInfoBtn, Qt::LeftButton);
    drainMainQueue();
    EXPECT_EQ(page.rowOfMoreInfo(), -1);
    EXPECT_EQ(page.rowViewAt(1)->minimumHeight(), 80);
}
