#include "Controls.h"
#include "DecryptDelegate.h"
#include "EncryptDelegate.h"
#include "MessagePresenter.h"
#include "UtilityFunctions.h"
#include "customizeButton.h"
#include "decPasswordView.h"
#include "encPasswordView.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class RecordingRuns : public EncryptDelegate, public DecryptDelegate {
public:
    void encryptFiles(const QString& path, const QString& password) override { calls << "encrypt:" + path + ":" + password; }
    void decryptFile(const QString& path, const QString& password) override { calls << "decrypt:" + path + ":" + password; }
    void restoreWithPassword(const QString& password) override { calls << "restore:" + password; }
    QStringList calls;
};

class RecordingPresenter : public MessagePresenter {
public:
    void present(QObject*, const MessageRequest& request, messageViewDelegate*) override { requests.push_back(request); }
    std::vector<MessageRequest> requests;
};

class PasswordDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { UtilityFunctions::setMessagePresenter(&presenter); }
    void TearDown() override { UtilityFunctions::setMessagePresenter(nullptr); }
    RecordingRuns runs;
    RecordingPresenter presenter;
};

void typeInto(QLineEdit* field, const QString& text)
{
    field->clear();
    QTest::keyClicks(field, text);
}

TEST_F(PasswordDialogsTest, EncryptStartFollowsTheRules)
{
    QPointer<encPasswordView> view = new encPasswordView;
    view->encryptPath = "/data/folder";
    view->passEncInfoDelegate = &runs;
    view->present();
    EXPECT_FALSE(control<customizeButton>(view, "doneButton")->isEnabled());
    EXPECT_TRUE(control<QLabel>(view, "passwordHint")->isHidden());

    typeInto(control<QLineEdit>(view, "encPasswordField"), "abc");
    EXPECT_EQ(control<QLabel>(view, "passwordHint")->text(), "The password must be between 4-16 characters.");
    EXPECT_FALSE(control<QLabel>(view, "passwordHint")->isHidden());
    typeInto(control<QLineEdit>(view, "encPasswordField"), "ab!cd");
    EXPECT_EQ(control<QLabel>(view, "passwordHint")->text(), "A password supports up to 16 alphanumeric characters");
    typeInto(control<QLineEdit>(view, "encPasswordField"), "abcdefghijklmnopq");
    EXPECT_EQ(control<QLabel>(view, "passwordHint")->text(), "The password must be between 4-16 characters.");

    typeInto(control<QLineEdit>(view, "encPasswordField"), "abcd");
    EXPECT_TRUE(control<QLabel>(view, "passwordHint")->isHidden());
    typeInto(control<QLineEdit>(view, "encPasswordConfirmField"), "abce");
    EXPECT_EQ(control<QLabel>(view, "passwordHint")->text(), "Passwords do not match.");
    EXPECT_FALSE(control<customizeButton>(view, "doneButton")->isEnabled());
    typeInto(control<QLineEdit>(view, "encPasswordConfirmField"), "abcd");
    EXPECT_EQ(control<QLabel>(view, "passwordHint")->text(), "Passwords match.");
    EXPECT_TRUE(control<customizeButton>(view, "doneButton")->isEnabled());

    // A matching pair that breaks a rule never enables Start.
    typeInto(control<QLineEdit>(view, "encPasswordField"), "ab!");
    typeInto(control<QLineEdit>(view, "encPasswordConfirmField"), "ab!");
    EXPECT_FALSE(control<customizeButton>(view, "doneButton")->isEnabled());

    // Emptying both fields after a match leaves Start disabled, and Start itself re-checks.
    typeInto(control<QLineEdit>(view, "encPasswordField"), "abcd");
    typeInto(control<QLineEdit>(view, "encPasswordConfirmField"), "abcd");
    ASSERT_TRUE(control<customizeButton>(view, "doneButton")->isEnabled());
    control<QLineEdit>(view, "encPasswordConfirmField")->clear();
    control<QLineEdit>(view, "encPasswordField")->clear();
    EXPECT_FALSE(control<customizeButton>(view, "doneButton")->isEnabled());
    view->startClick();
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_EQ(presenter.requests[0].title, "Error");
    EXPECT_EQ(presenter.requests[0].imageName, "ic_log_fail");
    EXPECT_TRUE(runs.calls.isEmpty());
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isVisible());

    typeInto(control<QLineEdit>(view, "encPasswordField"), "abcd");
    control<QLineEdit>(view, "encPasswordConfirmField")->setText("abcx");
    view->startClick();
    EXPECT_EQ(presenter.requests.back().message, "Confirmation password does not match");
    EXPECT_TRUE(runs.calls.isEmpty());

    typeInto(control<QLineEdit>(view, "encPasswordConfirmField"), "abcd");
    QTest::mouseClick(control<customizeButton>(view, "doneButton"), Qt::LeftButton);
    EXPECT_EQ(runs.calls, QStringList{"encrypt:/data/folder:abcd"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 2000));
}

TEST_F(PasswordDialogsTest, EyeButtonsSwapTheTwinsAndStartReadsTheVisibleOne)
{
    QPointer<encPasswordView> view = new encPasswordView;
    view->encryptPath = "/data/f.txt";
    view->passEncInfoDelegate = &runs;
    view->present();
    EXPECT_TRUE(control<QLineEdit>(view, "encPasswordField_show")->isHidden());
    EXPECT_EQ(control<QPushButton>(view, "passwordShowBtn")->property("imageName").toString(), "ic_password_on");

    typeInto(control<QLineEdit>(view, "encPasswordField"), "abcd");
    QTest::mouseClick(control<QPushButton>(view, "passwordShowBtn"), Qt::LeftButton);
    EXPECT_FALSE(control<QLineEdit>(view, "encPasswordField_show")->isHidden());
    EXPECT_TRUE(control<QLineEdit>(view, "encPasswordField")->isHidden());
    EXPECT_EQ(control<QLineEdit>(view, "encPasswordField_show")->text(), "abcd");
    EXPECT_EQ(control<QPushButton>(view, "passwordShowBtn")->property("imageName").toString(), "ic_password_off");

    QTest::keyClicks(control<QLineEdit>(view, "encPasswordField_show"), "ef");
    typeInto(control<QLineEdit>(view, "encPasswordConfirmField"), "abcdef");
    EXPECT_TRUE(control<customizeButton>(view, "doneButton")->isEnabled());
    QTest::mouseClick(control<QPushButton>(view, "confirmShowBtn"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(view, "encPasswordConfirmField_show")->text(), "abcdef");
    QTest::mouseClick(control<QPushButton>(view, "passwordShowBtn"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(view, "encPasswordField")->text(), "abcdef");
    EXPECT_FALSE(control<QLineEdit>(view, "encPasswordField")->isHidden());

    QTest::mouseClick(control<customizeButton>(view, "doneButton"), Qt::LeftButton);
    EXPECT_EQ(runs.calls, QStringList{"encrypt:/data/f.txt:abcdef"});
}

TEST_F(PasswordDialogsTest, EncryptCancelTellsNobody)
{
    QPointer<encPasswordView> view = new encPasswordView;
    view->passEncInfoDelegate = &runs;
    view->present();
    typeInto(control<QLineEdit>(view, "encPasswordField"), "abcd");
    typeInto(control<QLineEdit>(view, "encPasswordConfirmField"), "abcd");
    QTest::mouseClick(control<customizeButton>(view, "cancelButton"), Qt::LeftButton);
    EXPECT_TRUE(runs.calls.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 2000));
}

TEST_F(PasswordDialogsTest, DecryptDialogAnswersOnlyItsOwnReceiver)
{
    QPointer<decPasswordView> decrypt = new decPasswordView;
    decrypt->decryptPath = "/data/a.enc";
    decrypt->passDecInfoDelegate = &runs;
    decrypt->present();
    typeInto(control<QLineEdit>(decrypt, "decPasswordField"), "pw12");
    QTest::mouseClick(control<QPushButton>(decrypt, "passwordShowBtn"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(decrypt, "decPasswordField_show")->text(), "pw12");
    QTest::keyClicks(control<QLineEdit>(decrypt, "decPasswordField_show"), "3");
    QTest::mouseClick(control<customizeButton>(decrypt, "startButton"), Qt::LeftButton);
    EXPECT_EQ(runs.calls, QStringList{"decrypt:/data/a.enc:pw123"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return decrypt.isNull(); }, 2000));

    runs.calls.clear();
    QPointer<decPasswordView> restore = new decPasswordView;
    restore->purpose = decPasswordView::Purpose::Restore;
    restore->passDecInfoDelegate = &runs;
    restore->present();
    typeInto(control<QLineEdit>(restore, "decPasswordField"), "secret");
    QTest::mouseClick(control<customizeButton>(restore, "startButton"), Qt::LeftButton);
    EXPECT_EQ(runs.calls, QStringList{"restore:secret"});

    // A cancelled prompt tells nobody; no delegate closes quietly.
    runs.calls.clear();
    auto* cancelled = new decPasswordView;
    cancelled->purpose = decPasswordView::Purpose::Restore;
    cancelled->passDecInfoDelegate = &runs;
    cancelled->present();
    QTest::mouseClick(control<customizeButton>(cancelled, "cancelButton"), Qt::LeftButton);
    QPointer<decPasswordView> orphan = new decPasswordView;
    orphan->decryptPath = "/data/a.enc";
    orphan->present();
    QTest::mouseClick(control<customizeButton>(orphan, "startButton"), Qt::LeftButton);
    EXPECT_TRUE(runs.calls.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return orphan.isNull(); }, 2000));
}

} // namespace
