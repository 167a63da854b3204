#include "Controls.h"
#include "OTBViewController.h"

#include "CarosellView.h"
#include "DrainEvents.h"
#include "ElidedLabel.h"
#include "MakerProducts.h"
#include "OtbImageView.h"
#include "OtbSendTaskDelegate.h"
#include "customizeButton.h"
#include "myMoreInfoBtn.h"
#include "otbBackupInfoView.h"
#include "otbTableViewCell.h"

#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The main window as the page sees it: records the words and answers "Update" with its list.
class FakeMainWindow : public QObject,
                       public OtbSendTaskDelegate {
public:
    OTBViewController* page = nullptr;
    QList<TaskInfoPtr> tasks;
    QStringList calls; // "word" or "word:task name"

    void otbAction(const TaskInfoPtr& task, const QString& action) override
    {
        calls << (task ? action + QLatin1Char(':') + task->taskName : action);
        if (action == QLatin1String("Update") && page) {
            page->setTableData(tasks);
            page->reloadTaskTable();
        }
    }
    void runTask(const TaskInfoPtr& task, const QString& action, bool) override
    {
        calls << QStringLiteral("run ") + action + QLatin1Char(':') + task->taskName;
    }
    void driveIdentityGiven(const QString& root, const QString&) override { calls << QStringLiteral("identity:") + root; }
};

TaskInfoPtr makeTask(const QString& name, qint64 totalSize = 0, qint64 function = 2)
{
    return TaskInfo::initWithValues(name, QStringLiteral("2026-01-02, 3:04 PM"), { QStringLiteral("/tmp/src") },
                                    QStringLiteral("/media/ann/ZORVI/Backups;ABCD-1234"), { QStringLiteral("0") }, function,
                                    QString(), QStringLiteral("Weekly"), 3, 0, {}, { 2 }, 1, 0, totalSize, 12, 3, 0, {}, false);
}

class OtbPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings defaults;
        for (const char* key : { "RunningOTBDevice", "RunningOTBTask", "IsRunningOTB", "OtbAlertShowedtest2" })
            defaults.remove(QLatin1String(key));
        for (int i = 1; i <= 6; ++i)
            main.tasks << makeTask(QStringLiteral("Task %1").arg(i));
        main.page = &page;
        page.embed(&main);
        page.resize(770, 484);
        control<CarosellView>(page, "carosellView")->setRotationDuration(20);
        page.suppressibleMessagePresenter = [this](QWidget*, const QString&, const QString&, const QString& message,
                                                   const QString&, const QString& key) { notices << key + ": " + message; };
    }

    // A copy of the list as the main window makes it after re-mapping volumes: new objects.
    static QList<TaskInfoPtr> remapped(const QStringList& names)
    {
        QList<TaskInfoPtr> list;
        for (const QString& name : names)
            list << makeTask(name);
        return list;
    }

    FakeMainWindow main;
    QStringList notices;
    OTBViewController page;
};

} // namespace

TEST_F(OtbPageTest, WizardBindsTheTaskByNameAndStepThreeConsumesThePress)
{
    page.viewDidLoad();
    ASSERT_TRUE(drainEvents());
    page.show(); // no model chosen yet: step 1, and nothing stays armed
    EXPECT_EQ(main.calls, (QStringList { "Update", "DisableAll" }));
    EXPECT_FALSE(control<QWidget>(page, "step1View")->isHidden());
    EXPECT_TRUE(page.otbButtonPressed());

    QSignalSpy turned(control<CarosellView>(page, "carosellView"), &CarosellView::rotationFinished);
    page.rotateRight();
    ASSERT_TRUE(turned.wait(3000));
    page.goStepTwo();
    const QString model = MakerProducts::modelNames().at(2);
    EXPECT_EQ(QSettings().value("RunningOTBDevice").toString(), model);
    EXPECT_EQ(control<OtbImageView>(page, "step3DeviceImage")->imageName(), "OTB_Tessaro Slim");
    EXPECT_EQ(control<OtbImageView>(page, "step3CircleImage")->imageName(), "OTB_Tessaro Slim_2");
    EXPECT_TRUE(control<QWidget>(page, "step1View")->isHidden());

    main.calls.clear();
    control<QListWidget>(page, "OTBTableView")->setCurrentRow(1);
    EXPECT_EQ(main.calls, QStringList { "OtbChange:Task 2" });
    EXPECT_TRUE(control<customizeButton>(page, "step2StartBtn")->isEnabled());

    // The list is replaced and reordered before Start: the selection follows its task.
    page.setTableData(remapped({ "Task 4", "Task 3", "Task 2", "Task 1" }));
    page.reloadTaskTable();
    ASSERT_TRUE(drainEvents());
    EXPECT_EQ(page.selectedRow(), 2);
    EXPECT_TRUE(page.cellAt(2)->isRowSelected());
    EXPECT_FALSE(page.cellAt(1)->isRowSelected());

    main.calls.clear();
    control<customizeButton>(page, "step2StartBtn")->click();
    QSettings defaults;
    EXPECT_EQ(defaults.value("RunningOTBTask").toString(), "Task 2");
    EXPECT_TRUE(defaults.value("IsRunningOTB").toBool());
    EXPECT_EQ(main.calls, (QStringList { "OtbChange:Task 2", "StartOTB" }));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0], "OtbAlertShowedtest2: The OTB function is available only when Morvantek OTB device is connected.");
    EXPECT_FALSE(control<QWidget>(page, "step3View")->isHidden()); // the notice does not hold up step 3
    EXPECT_FALSE(control<customizeButton>(page, "step2StartBtn")->isEnabled());
    EXPECT_EQ(page.selectedRow(), -1);
    EXPECT_FALSE(page.stopBling);

    EXPECT_FALSE(page.otbButtonPressed());
    EXPECT_FALSE(page.otbButtonPressed()); // a second press during the fade changes nothing
    ASSERT_TRUE(QTest::qWaitFor([&] { return control<QWidget>(page, "step3View")->isHidden(); }, 5000));
    EXPECT_DOUBLE_EQ(page.successOpacity(), 1.0);
    EXPECT_FALSE(control<QWidget>(page, "step4View")->isHidden());
    EXPECT_TRUE(page.stopBling);
    EXPECT_EQ(control<QLabel>(page, "step4DeviceName")->text(), model);
    EXPECT_EQ(control<OtbImageView>(page, "step4DeviceImage")->imageName(), "Tessaro Slim");
    EXPECT_EQ(control<otbBackupInfoView>(page, "otbBackupInfo")->cellTaskNameLabel->text(), "Task 2");
    EXPECT_EQ(control<otbBackupInfoView>(page, "otbBackupInfo")->cellDestLabel->text(), "/media/ann/ZORVI/Backups");
    EXPECT_EQ(control<otbBackupInfoView>(page, "otbBackupInfo")->cellEncryptLabel->text(), "No");
    EXPECT_EQ(control<otbBackupInfoView>(page, "otbBackupInfo")->cellCompressLabel->text(), "Yes");
    EXPECT_TRUE(page.otbButtonPressed()); // from now on a press runs the task

    // The ring ends its last fade fully visible.
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.circleOpacity() == 1.0; }, 3000));

    page.setOtbAccessProblem("No permission to read the drive's button.");
    EXPECT_FALSE(control<QLabel>(page, "step4AccessLabel")->isHidden());
    page.setOtbAccessProblem(QString());
    EXPECT_TRUE(control<QLabel>(page, "step4AccessLabel")->isHidden());

    main.calls.clear();
    control<customizeButton>(page, "step4ResetBtn")->click();
    EXPECT_EQ(main.calls, QStringList { "DisableAll" });
    EXPECT_FALSE(control<QWidget>(page, "step1View")->isHidden());
    EXPECT_TRUE(control<QWidget>(page, "step4View")->isHidden());
}

TEST_F(OtbPageTest, StartDoesNothingWhenTheSelectedTaskIsGone)
{
    QSettings().setValue("OtbAlertShowedtest2", true);
    page.viewDidLoad();
    ASSERT_TRUE(drainEvents());
    page.goStepTwo();
    control<QListWidget>(page, "OTBTableView")->setCurrentRow(0);
    ASSERT_TRUE(control<customizeButton>(page, "step2StartBtn")->isEnabled());

    page.setTableData(remapped({ "Task 2", "Task 3" })); // "Task 1" was deleted; the reload is still queued
    main.calls.clear();
    page.doneBtnClicked();
    EXPECT_TRUE(main.calls.isEmpty());
    EXPECT_FALSE(QSettings().contains("RunningOTBTask"));
    EXPECT_TRUE(control<QWidget>(page, "step3View")->isHidden());

    page.reloadTaskTable();
    ASSERT_TRUE(drainEvents());
    EXPECT_EQ(page.selectedRow(), -1);
    EXPECT_FALSE(control<customizeButton>(page, "step2StartBtn")->isEnabled());

    control<QListWidget>(page, "OTBTableView")->setCurrentRow(1);
    page.doneBtnClicked();
    EXPECT_EQ(QSettings().value("RunningOTBTask").toString(), "Task 3");
    EXPECT_TRUE(notices.isEmpty()); // suppressed by the user earlier
    EXPECT_FALSE(control<QWidget>(page, "step3View")->isHidden());

    // Back to step 2 leaves the binding armed; Skip shows it.
    main.calls.clear();
    page.backStepTwo();
    EXPECT_TRUE(control<QWidget>(page, "step3View")->isHidden());
    EXPECT_TRUE(main.calls.isEmpty());
    page.startStepThree();
    page.goStepFour();
    EXPECT_FALSE(control<QWidget>(page, "step4View")->isHidden());
    EXPECT_EQ(control<otbBackupInfoView>(page, "otbBackupInfo")->cellTaskNameLabel->text(), "Task 3");
}

TEST_F(OtbPageTest, RestartRestoresTheArmedBinding)
{
    QSettings defaults;
    defaults.setValue("RunningOTBTask", "Task 3");
    defaults.setValue("RunningOTBDevice", "Velkan/Duo/Pro");
    defaults.setValue("IsRunningOTB", true);

    page.viewDidLoad();
    EXPECT_EQ(main.calls, (QStringList { "Update", "OtbChange:Task 3", "StartOTB" }));
    EXPECT_EQ(page.indexInData(), 2);
    EXPECT_FALSE(control<QWidget>(page, "step4View")->isHidden());
    EXPECT_EQ(control<QLabel>(page, "step4DeviceName")->text(), "Velkan/Duo/Pro");
    EXPECT_EQ(control<OtbImageView>(page, "step4DeviceImage")->imageName(), "VelkanDuoPro");
    EXPECT_EQ(control<otbBackupInfoView>(page, "otbBackupInfo")->cellTaskNameLabel->text(), "Task 3");
    page.show(); // the model is stored: appearing keeps the binding
    EXPECT_FALSE(main.calls.contains("DisableAll"));

    // Not armed: the task is found, nothing is restarted and step 4 stays hidden.
    defaults.setValue("IsRunningOTB", false);
    FakeMainWindow second;
    second.tasks = main.tasks;
    OTBViewController idle;
    second.page = &idle;
    idle.embed(&second);
    idle.viewDidLoad();
    EXPECT_EQ(second.calls, QStringList { "Update" });
    EXPECT_EQ(idle.indexInData(), 2);
    EXPECT_TRUE(control<QWidget>(idle, "step4View")->isHidden());

    // The main window handed its list over before the load: no real task is taken for the placeholder.
    OTBViewController unwired;
    unwired.setTableData(main.tasks);
    unwired.viewDidLoad();
    EXPECT_EQ(unwired.tableData.size(), main.tasks.size());
}

TEST_F(OtbPageTest, RowDetailsOpenOneAtATimeAndShowTheSizeText)
{
    main.tasks[0]->totalSize = 1024;
    main.tasks[1]->totalSize = 1025;
    main.tasks[2]->totalSize = 1536LL << 20;
    main.tasks[3]->totalSize = 2048LL << 30;
    page.viewDidLoad();
    ASSERT_TRUE(drainEvents());
    ASSERT_EQ(control<QListWidget>(page, "OTBTableView")->count(), 6);
    EXPECT_EQ(page.cellAt(0)->cellTotalSizeLabel->text(), "1024 Byte");
    EXPECT_EQ(page.cellAt(1)->cellTotalSizeLabel->text(), "1.0 KB");
    EXPECT_EQ(page.cellAt(2)->cellTotalSizeLabel->text(), "1.5 GB");
    EXPECT_EQ(page.cellAt(3)->cellTotalSizeLabel->text(), "2048.0 GB");

    page.cellAt(2)->moreInfoBtn->click();
    ASSERT_TRUE(drainEvents());
    EXPECT_EQ(page.rowOfMoreInfo(), 2);
    EXPECT_EQ(control<QListWidget>(page, "OTBTableView")->item(2)->sizeHint().height(), 160);
    EXPECT_FALSE(page.cellAt(2)->moreInfoView->isHidden());
    EXPECT_EQ(page.cellAt(2)->moreInfoBtn->imageName(), "ic_tab_moredetail_down_grey");

    page.cellAt(5)->moreInfoBtn->click();
    ASSERT_TRUE(drainEvents());
    EXPECT_EQ(page.rowOfMoreInfo(), 5);
    EXPECT_EQ(page.rowHeight(2), 80);
    EXPECT_TRUE(page.cellAt(2)->moreInfoView->isHidden());
    EXPECT_EQ(page.cellAt(2)->moreInfoBtn->imageName(), "ic_tab_moredetail_right_grey");
    EXPECT_EQ(control<QListWidget>(page, "OTBTableView")->item(5)->sizeHint().height(), 160);
    EXPECT_TRUE(page.cellAt(5)->moreInfoShow);

    page.cellAt(5)->moreInfoBtn->click();
    ASSERT_TRUE(drainEvents());
    EXPECT_EQ(page.rowOfMoreInfo(), -1);
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(control<QListWidget>(page, "OTBTableView")->item(row)->sizeHint().height(), 80);
        EXPECT_FALSE(page.cellAt(row)->moreInfoShow);
    }
}

TEST_F(OtbPageTest, TaskCardFoldsBetweenSixtyAndTwoHundredFifty)
{
    otbBackupInfoView* card = control<otbBackupInfoView>(page, "otbBackupInfo");
    ASSERT_EQ(card->backupHeight(), 60);
    card->moreInfoBtn->click();
    EXPECT_EQ(card->backupHeight(), 250);
    EXPECT_FALSE(card->moreInfoView->isHidden());
    ASSERT_TRUE(QTest::qWaitFor([&] { return card->moreInfoImageName() == "ic_tab_moredetail_down_blue"; }, 2000));

    card->moreInfoBtn->click();
    EXPECT_EQ(card->moreInfoImageName(), "ic_tab_moredetail_right_blue");
    EXPECT_TRUE(card->moreInfoView->isHidden());
    ASSERT_TRUE(QTest::qWaitFor([&] { return card->backupHeight() == 60; }, 2000));
    EXPECT_EQ(card->height(), 60);
}

TEST_F(OtbPageTest, HelpOpensTheManualInTheUsersLanguage)
{
    QList<QUrl> opened;
    page.openUrl = [&](const QUrl& url) { opened << url; };
    const QLocale saved;
    const QList<QLocale> locales { QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China),
                                   QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan),
                                   QLocale(QLocale::Japanese), QLocale(QStringLiteral("C")), QLocale(QStringLiteral("POSIX")),
                                   QLocale(QLocale::German) };
    for (const QLocale& locale : locales) {
        QLocale::setDefault(locale);
        control<QPushButton>(page, "helpBtn")->click();
    }
    QLocale::setDefault(saved);
    ASSERT_EQ(opened.size(), 6);
    EXPECT_EQ(opened[0].toString(), "https://www.morvantek.com/Manual/Zorvi/CN/");
    EXPECT_EQ(opened[1].toString(), "https://www.morvantek.com/Manual/Zorvi/TW/");
    EXPECT_EQ(opened[2].toString(), "https://www.morvantek.com/Manual/Zorvi/JA/");
    EXPECT_EQ(opened[3].toString(), "https://www.morvantek.com/Manual/Zorvi/EN/");
    EXPECT_EQ(opened[4].toString(), "https://www.morvantek.com/Manual/Zorvi/EN/");
    EXPECT_EQ(opened[5].toString(), "https://www.morvantek.com/Manual/Zorvi/DE/");
}
