#include "AddTaskBoxViewController.h"
#include "AdvanceViewController.h"
#include "BackupViewController.h"
#include "Controls.h"
#include "FakeClock.h"
#include "TaskPagesTestSupport.h"
#include "circleButton.h"
#include "customizeButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <atomic>
#include <thread>

using namespace taskpages;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs a blocking engine call off the GUI thread while the event loop keeps turning.
bool runOffGuiThread(const std::function<bool()>& work)
{
    std::atomic<bool> finished { false };
    bool result = false;
    std::thread worker([&] {
        result = work();
        finished = true;
    });
    const bool inTime = QTest::qWaitFor([&] { return finished.load(); }, 120000);
    worker.join();
    return inTime && result;
}
} // namespace

// A task made through the page, the editor and the advanced dialog is one the engine can
// back up and restore.
TEST(TaskPagesFlow, EncryptedDailyTaskFromTheEditorBacksUpAndRestores)
{
    // Noon: the nightly schedule made below never falls due while the test runs.
    ScopedFakeClock clock(QDateTime(QDate(2026, 3, 4), QTime(12, 0)));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    ASSERT_TRUE(QDir(root).mkpath("docs/sub"));
    ASSERT_TRUE(QDir(root).mkpath("backups"));
    {
        QFile f(root + "/docs/sub/note.txt");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("original");
    }

    RecordingPresenter presenter;
    FakeMainWindow main;
    TaskInfoPtr received;
    QString action;
    main.onRunTask = [&](const TaskInfoPtr& t, const QString& a) {
        if (t) {
            received = t;
            action = a;
        }
    };
    BackupViewController page;
    page.resize(960, 540);
    page.embed(&main);
    page.show();

    QTest::mouseClick(control<circleButton>(page, "addBtn"), Qt::LeftButton);
    QPointer<AddTaskBoxViewController> editor = page.editor();
    ASSERT_FALSE(editor.isNull());
    editor->addSourcePaths({ root + "/docs" }, true);
    editor->chooseDestination(root + "/backups", true);
    QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), "Docs");

    QTest::mouseClick(control<QPushButton>(editor, "AdvanceBtn"), Qt::LeftButton);
    AdvanceViewController* adv = editor->advancedDialog();
    ASSERT_NE(adv, nullptr);
    control<QCheckBox>(adv, "compressCheckbox")->click();
    control<QComboBox>(adv, "SecurityModeCombo")->setCurrentIndex(1);
    QTest::keyClicks(control<QLineEdit>(adv, "passwordField"), "Flow1234");
    QTest::keyClicks(control<QLineEdit>(adv, "passwordConfirmField"), "Flow1234");
    control<QComboBox>(adv, "scheduleModeCombo")->setCurrentIndex(1);
    control<QTimeEdit>(adv, "scheduleTimePicker")->setTime(QTime(3, 0));
    ASSERT_TRUE(control<customizeButton>(adv, "doneButton")->isEnabled());
    QTest::mouseClick(control<customizeButton>(adv, "doneButton"), Qt::LeftButton);

    QTest::mouseClick(control<customizeButton>(editor, "doneButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received != nullptr; }, 10000));
    EXPECT_EQ(action, "AddDo");
    EXPECT_EQ(received->function, 3);
    EXPECT_EQ(received->scheduleMode, "Daily");
    EXPECT_EQ(received->hour, 3);
    EXPECT_EQ(received->minute, 0);
    received->stopScheduleTimer();

    const TaskInfoPtr task = received;
    QString message;
    ASSERT_TRUE(runOffGuiThread([&] { return task->performBackup(nullptr, message); })) << message.toStdString();
    EXPECT_TRUE(QFile::exists(root + "/backups/Docs/backup.enc"));

    {
        QFile f(root + "/docs/sub/note.txt");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("changed");
    }
    ASSERT_TRUE(runOffGuiThread([&] { return task->performRestore("Flow1234", nullptr, message); })) << message.toStdString();
    EXPECT_EQ(readAll(root + "/docs/sub/note.txt"), "original");
}
