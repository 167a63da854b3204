#include "BackupTableRowView.h"
#include "BackupViewController.h"
#include "Controls.h"
#include "ElidedLabel.h"
#include "MyCell.h"
#include "TaskPagesTestSupport.h"
#include "circleButton.h"
#include "customizeButton.h"
#include "myMoreInfoBtn.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>

using namespace taskpages;

class BackupPageTest : public TaskPageFixture<BackupViewController> {
protected:
    void SetUp() override
    {
        TaskPageFixture::SetUp();
        QSettings().remove(QStringLiteral("RunningOTBTask"));
        page.embed(&main);
        page.show();
    }
};

TEST_F(BackupPageTest, EmbedAsksForTheListAndShowingReportsTheScreen)
{
    ASSERT_EQ(main.calls.size(), 1u);
    EXPECT_EQ(main.calls[0].taskName, "");
    EXPECT_EQ(main.calls[0].action, "Update");
    EXPECT_TRUE(main.calls[0].useProgress);
    ASSERT_FALSE(sink->screens.empty());
    EXPECT_EQ(sink->screens.back(), "Backup View");
}

TEST_F(BackupPageTest, RowsShowEachTaskFromTableData)
{
    auto plain = makeTask("Plain", 1, 0, 1024, "/media/ann/Disk/Backups;ABCD-1234");
    auto archive = makeTask("Archive", 2, 1, 1025);
    auto locked = makeTask("Locked", 3, -1, 2LL << 40);
    auto odd = makeTask("Odd", 1, 2);
    load({ plain, archive, locked, odd });
    ASSERT_EQ(page.rowCount(), 4);

    MyCell* c0 = page.cellAt(0);
    EXPECT_EQ(c0->cellTaskNameLabel->text(), "Plain");
    EXPECT_EQ(c0->cellDestLabel->text(), "/media/ann/Disk/Backups");
    EXPECT_EQ(c0->cellDestLabel->toolTip(), "/media/ann/Disk/Backups");
    EXPECT_EQ(c0->cellLastUpdateLabel->text(), "2026-01-02, 3:04 PM");
    EXPECT_EQ(c0->cellBackupStatusLabel->text(), "Not backed up yet");
    EXPECT_EQ(c0->statusImageName(), "ic_backup_grey");
    EXPECT_EQ(c0->cellTotalSizeLabel->text(), "1024 Byte");
    EXPECT_EQ(c0->cellCompressLabel->text(), "No");
    EXPECT_EQ(c0->cellEncryptLabel->text(), "No");
    EXPECT_EQ(c0->cellScheduleLabel->text(), "None");
    EXPECT_EQ(c0->cellFileCountLabel->text(), "3");
    EXPECT_EQ(c0->cellFolderCountLabel->text(), "1");

    MyCell* c1 = page.cellAt(1);
    EXPECT_EQ(c1->cellBackupStatusLabel->text(), "Done");
    EXPECT_EQ(c1->statusImageName(), "ic_backup_green");
    EXPECT_EQ(c1->cellTotalSizeLabel->text(), "1.0 KB");
    EXPECT_EQ(c1->cellCompressLabel->text(), "Yes");
    EXPECT_EQ(c1->cellEncryptLabel->text(), "No");

    MyCell* c2 = page.cellAt(2);
    EXPECT_EQ(c2->cellBackupStatusLabel->text(), "Fail");
    EXPECT_EQ(c2->statusImageName(), "ic_backup_lock_red");
    EXPECT_EQ(c2->cellTotalSizeLabel->text(), "2048.0 GB");
    EXPECT_EQ(c2->cellEncryptLabel->text(), "Yes");

    MyCell* c3 = page.cellAt(3);
    EXPECT_EQ(c3->cellBackupStatusLabel->text(), "Unknown");
    EXPECT_EQ(c3->statusImageName(), "");
}

TEST_F(BackupPageTest, OneFoldOutOpenAtATimeAndItFollowsTheTask)
{
    load({ makeTask("A"), makeTask("B"), makeTask("C") });
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(page.rowViewAt(i)->minimumHeight(), 80);

    QTest::mouseClick(page.cellAt(1)->moreInfoBtn, Qt::LeftButton);
    drainMainQueue();
    EXPECT_EQ(page.rowOfMoreInfo(), 1);
    EXPECT_EQ(page.rowViewAt(0)->minimumHeight(), 80);
    EXPECT_EQ(page.rowViewAt(1)->minimumHeight(), 160);
    EXPECT_EQ(page.rowViewAt(2)->minimumHeight(), 80);
    EXPECT_TRUE(page.cellAt(1)->moreInfoShow);
    EXPECT_TRUE(page.cellAt(1)->moreInfoBtn->btnClicked);
    EXPECT_FALSE(page.cellAt(1)->moreInfoView->isHidden());

    QTest::mouseClick(page.cellAt(2)->moreInfoBtn, Qt::LeftButton);
    drainMainQueue();
    EXPECT_EQ(page.rowViewAt(1)->minimumHeight(), 80);
    EXPECT_EQ(page.rowViewAt(2)->minimumHeight(), 160);

    // A refresh that moves C to the top keeps C open.
    auto tasks = page.tableData;
    load({ tasks[2], tasks[0], tasks[1] });
    EXPECT_EQ(page.rowOfMoreInfo(), 0);
    EXPECT_EQ(page.rowViewAt(0)->minimumHeight(), 160);

    QTest::mouseClick(page.cellAt(0)->moreInfoBtn, Qt::LeftButton);
    drainMainQueue();
    EXPECT_EQ(page.rowOfMoreInfo(), -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(page.rowViewAt(i)->minimumHeight(), 80);
}

TEST_F(BackupPageTest, AnAddedTaskIsScrolledIntoView)
{
    QList<TaskInfoPtr> tasks;
    for (int i = 0; i < 12; ++i)
        tasks << makeTask(QStringLiteral("T%1").arg(i));
    load(tasks);
    auto* scroll = page.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 0);
    const auto inView = [&](int row) {
        const QRect r(page.rowViewAt(row)->mapTo(scroll->viewport(), QPoint(0, 0)), page.rowViewAt(row)->size());
        return scroll->viewport()->rect().contains(r);
    };

    // The dispatcher may add it under another name ("_copy") after a question.
    auto added = makeTask("T0");
    page.sendTask(added, "AddDo");
    load(tasks);
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 0); // nothing new listed yet
    added->taskName = "T0_copy";
    load(tasks + QList<TaskInfoPtr> { added });
    EXPECT_GT(scroll->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(inView(12));

    // Later refreshes do not scroll again.
    scroll->verticalScrollBar()->setValue(0);
    load(tasks + QList<TaskInfoPtr> { added, makeTask("Other") });
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 0);
}

TEST_F(BackupPageTest, BackupButtonNamesItsTaskEvenAfterTheListIsReordered)
{
    auto a = makeTask("A"), b = makeTask("B"), c = makeTask("C");
    load({ a, b, c });
    main.calls.clear();
    // The main window reorders the list; the rows are not redrawn yet.
    page.setTableData({ c, b, a });
    QTest::mouseClick(page.cellAt(0)->backupBtn, Qt::LeftButton);
    ASSERT_EQ(main.calls.size(), 1u);
    EXPECT_EQ(main.calls[0].taskName, "A");
    EXPECT_EQ(main.calls[0].action, "Backup");
    EXPECT_TRUE(main.calls[0].useProgress);

    // A row whose task is gone does nothing.
    page.setTableData({ b, c });
    QTest::mouseClick(page.cellAt(0)->backupBtn, Qt::LeftButton);
    EXPECT_EQ(main.calls.size(), 1u);
}

TEST_F(BackupPageTest, DeleteAsksFirstAndOnlyTheMainButtonDeletes)
{
    auto a = makeTask("A"), b = makeTask("B");
    load({ a, b });
    main.calls.clear();

    QTest::mouseClick(page.cellAt(1)->deleteBtn, Qt::LeftButton);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_EQ(presenter.requests[0].title, "");
    EXPECT_EQ(presenter.requests[0].imageName, "ic_log_lable");
    EXPECT_EQ(presenter.requests[0].message, "Are you sure you want to delete?");
    EXPECT_TRUE(presenter.requests[0].showSecondBtn);
    presenter.answer(1);
    EXPECT_TRUE(main.calls.empty());

    QTest::mouseClick(page.cellAt(1)->deleteBtn, Qt::LeftButton);
    // The list is refreshed in another order while the question is up.
    page.setTableData({ b, a });
    presenter.answer(0);
    ASSERT_EQ(main.calls.size(), 1u);
    EXPECT_EQ(main.calls[0].taskName, "B");
    EXPECT_EQ(main.calls[0].action, "Delete");
    EXPECT_EQ(main.disableOtbCount, 0);
}

TEST_F(BackupPageTest, DeletingTheOneTouchTaskTurnsOneTouchOff)
{
    auto a = makeTask("A"), b = makeTask("B");
    load({ a, b });
    QSettings().setValue(QStringLiteral("RunningOTBTask"), QStringLiteral("B"));
    QTest::mouseClick(page.cellAt(0)->deleteBtn, Qt::LeftButton);
    presenter.answer(0);
    EXPECT_EQ(main.disableOtbCount, 0);
    QTest::mouseClick(page.cellAt(1)->deleteBtn, Qt::LeftButton);
    presenter.answer(0);
    EXPECT_EQ(main.disableOtbCount, 1);
    QSettings().remove(QStringLiteral("RunningOTBTask"));
}

TEST_F(BackupPageTest, DeleteAnsweredAfterTheTaskIsGoneDoesNothing)
{
    auto a = makeTask("A"), b = makeTask("B");
    load({ a, b });
    main.calls.clear();
    QTest::mouseClick(page.cellAt(0)->deleteBtn, Qt::LeftButton);
    page.setTableData({ b });
    presenter.answer(0);
    EXPECT_TRUE(main.calls.empty());
}

TEST_F(BackupPageTest, ModifyRefreshesVolumesAndOpensTheEditorOnTheTaskFoundByName)
{
    auto a = makeTask("A", 2), b = makeTask("B", 1);
    load({ a, b });
    // The volume refresh rebuilds the list with new objects in another order.
    auto freshB = makeTask("B", 1);
    main.onUpdateVolumes = [&] { page.setTableData({ freshB, a }); };
    QTest::mouseClick(page.cellAt(1)->modifyBtn, Qt::LeftButton);
    ASSERT_EQ(main.volumeRefreshes.size(), 1u);
    EXPECT_TRUE(main.volumeRefreshes[0]);
    ASSERT_NE(page.editor(), nullptr);
    EXPECT_TRUE(page.editor()->isModifyMode);
    EXPECT_EQ(page.editor()->taskInfoToMod, freshB);
    EXPECT_EQ(page.editor()->boxDelegate, static_cast<BoxViewSendTaskDelegate*>(&page));
    EXPECT_EQ(page.passwordPrompt(), nullptr);
    page.editor()->close();
}

TEST_F(BackupPageTest, EncryptedModifyNeedsTheExactStoredPassword)
{
    auto locked = makeTask("Locked", 3);
    load({ locked });
    QTest::mouseClick(page.cellAt(0)->modifyBtn, Qt::LeftButton);
    EXPECT_EQ(page.editor(), nullptr);
    getPasswordViewController* prompt = page.passwordPrompt();
    ASSERT_NE(prompt, nullptr);
    EXPECT_TRUE(prompt->isVisible());

    QTest::keyClicks(control<QLineEdit>(prompt, "passwordField"), "secret12");
    QTest::mouseClick(control<customizeButton>(prompt, "okButton"), Qt::LeftButton);
    EXPECT_EQ(page.editor(), nullptr);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_EQ(presenter.requests[0].title, "Error");
    EXPECT_EQ(presenter.requests[0].imageName, "ic_log_fail");
    EXPECT_EQ(presenter.requests[0].message, "Incorrect password");

    QTest::mouseClick(page.cellAt(0)->modifyBtn, Qt::LeftButton);
    prompt = page.passwordPrompt();
    ASSERT_NE(prompt, nullptr);
    // Typed in the plain twin after the eye was pressed: the visible field counts.
    QTest::mouseClick(control<QPushButton>(prompt, "showPasswordBtn"), Qt::LeftButton);
    QTest::keyClicks(control<QLineEdit>(prompt, "passwordField_show"), "Secret12");
    QTest::mouseClick(control<customizeButton>(prompt, "okButton"), Qt::LeftButton);
    ASSERT_NE(page.editor(), nullptr);
    EXPECT_EQ(page.editor()->taskInfoToMod, locked);
    page.editor()->close();
}

TEST_F(BackupPageTest, PasswordAnswerForATaskDeletedMeanwhileDoesNothing)
{
    auto locked = makeTask("Locked", 3), other = makeTask("Other", 1);
    load({ locked, other });
    QTest::mouseClick(page.cellAt(0)->modifyBtn, Qt::LeftButton);
    ASSERT_NE(page.passwordPrompt(), nullptr);
    page.setTableData({ other });
    page.resetAndReloadTaskTable();
    drainMainQueue();
    page.sendPassword(QStringLiteral("Secret12"));
    EXPECT_EQ(page.editor(), nullptr);
    EXPECT_TRUE(presenter.requests.empty());
}

TEST_F(BackupPageTest, AddButtonOpensAnEmptyEditorAndItsAnswerGoesToTheMainWindow)
{
    QTest::mouseClick(control<circleButton>(page, "addBtn"), Qt::LeftButton);
    ASSERT_NE(page.editor(), nullptr);
    EXPECT_FALSE(page.editor()->isModifyMode);
    page.editor()->close();

    main.calls.clear();
    auto t = makeTask("New");
    page.sendTask(t, QStringLiteral("AddDo"));
    ASSERT_EQ(main.calls.size(), 1u);
    EXPECT_EQ(main.calls[0].taskName, "New");
    EXPECT_EQ(main.calls[0].action, "AddDo");
    EXPECT_TRUE(main.calls[0].useProgress);
}

TEST_F(BackupPageTest, ModifyOfATaskGoneAfterTheVolumeRefreshOpensNothing)
{
    auto a = makeTask("A"), b = makeTask("B");
    load({ a, b });
    main.onUpdateVolumes = [&] { page.setTableData({ b }); };
    QTest::mouseClick(page.cellAt(0)->modifyBtn, Qt::LeftButton);
    EXPECT_EQ(page.editor(), nullptr);
    EXPECT_EQ(page.passwordPrompt(), nullptr);
}
