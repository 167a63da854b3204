#include "AdvInfoDelegate.h"
#include "AdvanceViewController.h"
#include "Controls.h"
#include "PasswordRules.h"
#include "TaskPagesTestSupport.h"
#include "customizeButton.h"
#include "myDateBtn.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>

using namespace taskpages;

namespace {
struct Answer {
    qint64 function;
    QString password, mode;
    qint64 hour, minute;
    QList<qint64> date, weekday;
};

class RecordingAdv : public AdvInfoDelegate {
public:
    void sendAdvInfo(qint64 f, const QString& p, const QString& m, qint64 h, qint64 mi, const QList<qint64>& d,
                     const QList<qint64>& w) override
    {
        answers.push_back({ f, p, m, h, mi, d, w });
    }
    std::vector<Answer> answers;
};
} // namespace

class AdvancedTest : public ::testing::Test {
protected:
    AdvanceViewController* open(const TaskInfoPtr& task = nullptr)
    {
        auto* dialog = new AdvanceViewController(nullptr, task);
        dialog->advDelegate = &adv;
        dialog->present();
        guard = dialog;
        return dialog;
    }
    TaskInfoPtr task(qint64 function, const QString& mode, qint64 hour, qint64 minute, QList<qint64> date = {},
                     QList<qint64> weekday = {})
    {
        auto t = makeTask("T", function);
        t->scheduleMode = mode;
        t->hour = hour;
        t->minute = minute;
        t->date = date;
        t->weekday = weekday;
        return t;
    }
    void typeInto(QLineEdit* field, const QString& text) { QTest::keyClicks(field, text); }
    void clear(QLineEdit* field)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
    }

    RecordingPresenter presenter;
    RecordingAdv adv;
    QPointer<AdvanceViewController> guard;
};

TEST_F(AdvancedTest, NewTaskDefaultsAnswerPlainCopyWithoutSchedule)
{
    auto* d = open();
    EXPECT_FALSE(control<QComboBox>(d, "SecurityModeCombo")->isEnabled());
    EXPECT_TRUE(control<QWidget>(d, "passwordSettingView")->isHidden());
    EXPECT_TRUE(control<QTimeEdit>(d, "scheduleTimePicker")->isHidden());
    for (auto* b : numberedControls<myDateBtn>(d, "dateBtn", 31))
        EXPECT_TRUE(b->isHidden());
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 1u);
    const Answer& a = adv.answers[0];
    EXPECT_EQ(a.function, 1);
    EXPECT_EQ(a.password, PasswordRules::noPasswordMarker());
    EXPECT_EQ(a.password.size(), 12);
    EXPECT_FALSE(PasswordRules::isValid(a.password));
    EXPECT_EQ(a.mode, "None");
    EXPECT_EQ(a.hour, -1);
    EXPECT_EQ(a.minute, -1);
    EXPECT_TRUE(a.date.isEmpty());
    EXPECT_TRUE(a.weekday.isEmpty());
    EXPECT_TRUE(guard.isNull() || !guard->isVisible());
}

TEST_F(AdvancedTest, LivePasswordRules)
{
    auto* d = open();
    control<QCheckBox>(d, "compressCheckbox")->click();
    control<QComboBox>(d, "SecurityModeCombo")->setCurrentIndex(1);
    EXPECT_FALSE(control<QWidget>(d, "passwordSettingView")->isHidden());
    EXPECT_FALSE(control<customizeButton>(d, "doneButton")->isEnabled());

    struct Step {
        QLineEdit* field;
        QString type; // appended; "" with clear = true empties the field
        bool clear;
        QString hint; // "" = hidden
        bool done;
    };
    const std::vector<Step> steps {
        { control<QLineEdit>(d, "passwordField"), "abc", false, "The password must be between 4-16 characters.", false },
        { control<QLineEdit>(d, "passwordField"), "!", false, "A password supports up to 16 alphanumeric characters", false },
        { control<QLineEdit>(d, "passwordField"), "", true, "", false },
        { control<QLineEdit>(d, "passwordField"), "abcdefghijklmnopq", false, "The password must be between 4-16 characters.", false },
        { control<QLineEdit>(d, "passwordField"), "", true, "", false },
        { control<QLineEdit>(d, "passwordField"), "abcd", false, "", false },              // confirmation still empty
        { control<QLineEdit>(d, "passwordConfirmField"), "abcd", false, "Passwords match.", true },
        { control<QLineEdit>(d, "passwordField"), "!", false, "A password supports up to 16 alphanumeric characters", true },
        { control<QLineEdit>(d, "passwordField"), "", true, "", true },                   // the confirmation is not empty: step 6
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        if (s.clear)
            clear(s.field);
        else
            typeInto(s.field, s.type);
        if (i == 8) {
            // "" against "abcd": mismatch.
            EXPECT_EQ(control<QLabel>(d, "passwordHint")->text(), "Passwords do not match.");
            EXPECT_FALSE(control<customizeButton>(d, "doneButton")->isEnabled());
            continue;
        }
        if (s.hint.isEmpty())
            EXPECT_TRUE(control<QLabel>(d, "passwordHint")->isHidden()) << "step " << i;
        else {
            EXPECT_FALSE(control<QLabel>(d, "passwordHint")->isHidden()) << "step " << i;
            EXPECT_EQ(control<QLabel>(d, "passwordHint")->text(), s.hint) << "step " << i;
        }
        EXPECT_EQ(control<customizeButton>(d, "doneButton")->isEnabled(), s.done) << "step " << i;
    }

    typeInto(control<QLineEdit>(d, "passwordField"), "abce");
    EXPECT_EQ(control<QLabel>(d, "passwordHint")->text(), "Passwords do not match.");
    EXPECT_FALSE(control<customizeButton>(d, "doneButton")->isEnabled());
    // Edits of the confirmation count too.
    clear(control<QLineEdit>(d, "passwordConfirmField"));
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "abce");
    EXPECT_EQ(control<QLabel>(d, "passwordHint")->text(), "Passwords match.");
    EXPECT_TRUE(control<customizeButton>(d, "doneButton")->isEnabled());
}

TEST_F(AdvancedTest, LiveRulesCoverTheConfirmationAndBothItsFields)
{
    auto* d = open();
    control<QCheckBox>(d, "compressCheckbox")->click();
    control<QComboBox>(d, "SecurityModeCombo")->setCurrentIndex(1);
    typeInto(control<QLineEdit>(d, "passwordField"), "abcd");
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "ab!");
    EXPECT_EQ(control<QLabel>(d, "passwordHint")->text(), "A password supports up to 16 alphanumeric characters");
    EXPECT_FALSE(control<customizeButton>(d, "doneButton")->isEnabled());
    clear(control<QLineEdit>(d, "passwordConfirmField"));
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "abc");
    EXPECT_EQ(control<QLabel>(d, "passwordHint")->text(), "The password must be between 4-16 characters.");
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "d");
    EXPECT_EQ(control<QLabel>(d, "passwordHint")->text(), "Passwords match.");
    EXPECT_TRUE(control<customizeButton>(d, "doneButton")->isEnabled());

    // Shown in plain text and then emptied, the confirmation's hidden twin still holds
    // "abcd": the empty visible text is compared, not skipped.
    QTest::mouseClick(control<QPushButton>(d, "confirmShowBtn"), Qt::LeftButton);
    ASSERT_FALSE(control<QLineEdit>(d, "passwordConfirmField_show")->isHidden());
    clear(control<QLineEdit>(d, "passwordConfirmField_show"));
    EXPECT_EQ(control<QLineEdit>(d, "passwordConfirmField")->text(), "abcd");
    EXPECT_FALSE(control<QLabel>(d, "passwordHint")->isHidden());
    EXPECT_EQ(control<QLabel>(d, "passwordHint")->text(), "Passwords do not match.");
    EXPECT_FALSE(control<customizeButton>(d, "doneButton")->isEnabled());
}

TEST_F(AdvancedTest, EmptiedFieldsKeepDoneEnabledButDoneRefusesAnEmptyPassword)
{
    auto* d = open();
    control<QCheckBox>(d, "compressCheckbox")->click();
    control<QComboBox>(d, "SecurityModeCombo")->setCurrentIndex(1);
    typeInto(control<QLineEdit>(d, "passwordField"), "abcd");
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "abcd");
    ASSERT_TRUE(control<customizeButton>(d, "doneButton")->isEnabled());
    clear(control<QLineEdit>(d, "passwordConfirmField"));
    clear(control<QLineEdit>(d, "passwordField"));
    EXPECT_TRUE(control<customizeButton>(d, "doneButton")->isEnabled());
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    EXPECT_EQ(presenter.lastMessage(), "Password can't be empty!");
    EXPECT_TRUE(adv.answers.empty());
    EXPECT_TRUE(d->isVisible());
}

TEST_F(AdvancedTest, DoneReappliesTheRulesTheHintOnlyShowed)
{
    auto* d = open();
    control<QCheckBox>(d, "compressCheckbox")->click();
    control<QComboBox>(d, "SecurityModeCombo")->setCurrentIndex(1);
    typeInto(control<QLineEdit>(d, "passwordField"), "ab!");
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "ab!");
    control<customizeButton>(d, "doneButton")->setEnabled(true); // even if Done is reachable
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    EXPECT_TRUE(adv.answers.empty());
    EXPECT_EQ(presenter.requests.back().title, "Error");
    EXPECT_EQ(presenter.lastMessage(), "A password supports up to 16 alphanumeric characters");
    EXPECT_TRUE(control<QLineEdit>(d, "passwordField")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>(d, "passwordConfirmField")->text().isEmpty());

    typeInto(control<QLineEdit>(d, "passwordField"), "abc");
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "abc");
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    EXPECT_EQ(presenter.lastMessage(), "The password must be between 4-16 characters.");
    EXPECT_TRUE(adv.answers.empty());
}

TEST_F(AdvancedTest, MismatchThenCorrectedAnswersEncryptedWithThePassword)
{
    auto* d = open();
    control<QCheckBox>(d, "compressCheckbox")->click();
    control<QComboBox>(d, "SecurityModeCombo")->setCurrentIndex(1);
    control<QComboBox>(d, "scheduleModeCombo")->setCurrentIndex(2);
    numberedControls<QCheckBox>(d, "weekdayCheck", 7)[1]->click();
    numberedControls<QCheckBox>(d, "weekdayCheck", 7)[6]->click();
    typeInto(control<QLineEdit>(d, "passwordField"), "abcd");
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "abcd");
    typeInto(control<QLineEdit>(d, "passwordField"), "e");
    control<customizeButton>(d, "doneButton")->setEnabled(true);
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    EXPECT_EQ(presenter.lastMessage(), "Confirmation password does not match");
    EXPECT_TRUE(adv.answers.empty());

    // Typed in the plain twin: the visible field is read.
    QTest::mouseClick(control<QPushButton>(d, "passwordShowBtn"), Qt::LeftButton);
    EXPECT_FALSE(control<QLineEdit>(d, "passwordField_show")->isHidden());
    EXPECT_TRUE(control<QLineEdit>(d, "passwordField")->isHidden());
    EXPECT_EQ(control<QPushButton>(d, "passwordShowBtn")->property("imageName").toString(), "ic_password_off");
    typeInto(control<QLineEdit>(d, "passwordField_show"), "Pass1234");
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "Pass1234");
    ASSERT_TRUE(control<customizeButton>(d, "doneButton")->isEnabled());
    control<QTimeEdit>(d, "scheduleTimePicker")->setTime(QTime(22, 15));
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    EXPECT_EQ(presenter.requests.back().title, "Attention");
    ASSERT_EQ(adv.answers.size(), 1u);
    const Answer& a = adv.answers[0];
    EXPECT_EQ(a.function, 3);
    EXPECT_EQ(a.password, "Pass1234");
    EXPECT_EQ(a.mode, "Weekly");
    EXPECT_EQ(a.hour, 22);
    EXPECT_EQ(a.minute, 15);
    EXPECT_EQ(a.weekday, QList<qint64>({ 2, 7 }));
    EXPECT_TRUE(a.date.isEmpty());
}

TEST_F(AdvancedTest, EyeButtonCopiesTheTextBothWays)
{
    auto* d = open();
    control<QCheckBox>(d, "compressCheckbox")->click();
    control<QComboBox>(d, "SecurityModeCombo")->setCurrentIndex(1);
    EXPECT_EQ(control<QPushButton>(d, "confirmShowBtn")->property("imageName").toString(), "ic_password_on");
    typeInto(control<QLineEdit>(d, "passwordConfirmField"), "abcd");
    QTest::mouseClick(control<QPushButton>(d, "confirmShowBtn"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(d, "passwordConfirmField_show")->text(), "abcd");
    typeInto(control<QLineEdit>(d, "passwordConfirmField_show"), "ef");
    QTest::mouseClick(control<QPushButton>(d, "confirmShowBtn"), Qt::LeftButton);
    EXPECT_TRUE(control<QLineEdit>(d, "passwordConfirmField_show")->isHidden());
    EXPECT_EQ(control<QLineEdit>(d, "passwordConfirmField")->text(), "abcdef");
    EXPECT_EQ(control<QPushButton>(d, "confirmShowBtn")->property("imageName").toString(), "ic_password_on");
}

TEST_F(AdvancedTest, LoadingAnEncryptedTask)
{
    auto t = task(3, "Daily", 6, 45);
    t->password = "Stored99";
    auto* d = open(t);
    EXPECT_TRUE(control<QCheckBox>(d, "compressCheckbox")->isChecked());
    EXPECT_TRUE(control<QComboBox>(d, "SecurityModeCombo")->isEnabled());
    EXPECT_EQ(control<QComboBox>(d, "SecurityModeCombo")->currentIndex(), 1);
    EXPECT_EQ(control<QLineEdit>(d, "passwordField")->text(), "Stored99");
    EXPECT_EQ(control<QLineEdit>(d, "passwordConfirmField")->text(), "Stored99");
    EXPECT_TRUE(control<QPushButton>(d, "passwordShowBtn")->isHidden());
    EXPECT_TRUE(control<QPushButton>(d, "confirmShowBtn")->isHidden());
    EXPECT_FALSE(control<customizeButton>(d, "doneButton")->isEnabled());
    EXPECT_EQ(control<QComboBox>(d, "scheduleModeCombo")->currentIndex(), 1);
    EXPECT_EQ(control<QTimeEdit>(d, "scheduleTimePicker")->time(), QTime(6, 45));
    EXPECT_FALSE(control<QTimeEdit>(d, "scheduleTimePicker")->isHidden());
    typeInto(control<QLineEdit>(d, "passwordField"), "x");
    clear(control<QLineEdit>(d, "passwordField"));
    typeInto(control<QLineEdit>(d, "passwordField"), "Stored99");
    EXPECT_TRUE(control<customizeButton>(d, "doneButton")->isEnabled());
}

TEST_F(AdvancedTest, LoadingArchiveMonthlyAndWeeklyTasks)
{
    auto* m = open(task(2, "Monthly", 1, 2, { 1, 15 }));
    EXPECT_TRUE(control<QCheckBox>(m, "compressCheckbox")->isChecked());
    EXPECT_EQ(control<QComboBox>(m, "SecurityModeCombo")->currentIndex(), 0);
    for (auto* b : numberedControls<myDateBtn>(m, "dateBtn", 31)) {
        EXPECT_FALSE(b->isHidden());
        const int day = b->property("identifier").toInt();
        EXPECT_EQ(b->clickFlag, day == 1 || day == 15) << day;
    }
    QTest::mouseClick(control<customizeButton>(m, "doneButton"), Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 1u);
    EXPECT_EQ(adv.answers[0].function, 2);
    EXPECT_EQ(adv.answers[0].mode, "Monthly");
    EXPECT_EQ(adv.answers[0].date, QList<qint64>({ 1, 15 }));
    EXPECT_EQ(adv.answers[0].hour, 1);
    EXPECT_EQ(adv.answers[0].minute, 2);

    auto* w = open(task(1, "Weekly", 23, 59, {}, { 1, 4 }));
    EXPECT_FALSE(control<QCheckBox>(w, "compressCheckbox")->isChecked());
    for (auto* c : numberedControls<QCheckBox>(w, "weekdayCheck", 7)) {
        EXPECT_FALSE(c->isHidden());
        const int n = c->property("identifier").toInt();
        EXPECT_EQ(c->isChecked(), n == 1 || n == 4) << n;
    }
    EXPECT_EQ(control<QTimeEdit>(w, "scheduleTimePicker")->time(), QTime(23, 59));
    // "None" after "Weekly" forgets the time and the days.
    control<QComboBox>(w, "scheduleModeCombo")->setCurrentIndex(0);
    QTest::mouseClick(control<customizeButton>(w, "doneButton"), Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 2u);
    EXPECT_EQ(adv.answers[1].mode, "None");
    EXPECT_EQ(adv.answers[1].hour, -1);
    EXPECT_EQ(adv.answers[1].minute, -1);
    EXPECT_TRUE(adv.answers[1].weekday.isEmpty());
}

TEST_F(AdvancedTest, WeeklyOrMonthlyWithoutADayCannotBeSaved)
{
    auto* d = open();
    control<QComboBox>(d, "scheduleModeCombo")->setCurrentIndex(2);
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    EXPECT_TRUE(adv.answers.empty());
    EXPECT_EQ(presenter.requests.back().title, "Error");
    control<QComboBox>(d, "scheduleModeCombo")->setCurrentIndex(3);
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    EXPECT_TRUE(adv.answers.empty());
    QTest::mouseClick(numberedControls<myDateBtn>(d, "dateBtn", 31)[30], Qt::LeftButton);
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 1u);
    EXPECT_EQ(adv.answers[0].date, QList<qint64>({ 31 }));
}

TEST_F(AdvancedTest, UntickingTheArchiveInEncryptedModeAnswersPlainCopy)
{
    auto t = task(3, "None", -1, -1);
    auto* d = open(t);
    control<QCheckBox>(d, "compressCheckbox")->click();
    EXPECT_FALSE(control<QCheckBox>(d, "compressCheckbox")->isChecked());
    EXPECT_TRUE(control<QLineEdit>(d, "passwordField")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>(d, "passwordConfirmField")->text().isEmpty());
    EXPECT_TRUE(control<QWidget>(d, "passwordSettingView")->isHidden());
    EXPECT_FALSE(control<QComboBox>(d, "SecurityModeCombo")->isEnabled());
    EXPECT_TRUE(control<customizeButton>(d, "doneButton")->isEnabled());
    QTest::mouseClick(control<customizeButton>(d, "doneButton"), Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 1u);
    EXPECT_EQ(adv.answers[0].function, 1);
    EXPECT_EQ(adv.answers[0].password, PasswordRules::noPasswordMarker());
}

TEST_F(AdvancedTest, CancelAnswersNothing)
{
    auto* d = open();
    QTest::mouseClick(control<customizeButton>(d, "cancelButton"), Qt::LeftButton);
    EXPECT_TRUE(adv.answers.empty());
    EXPECT_TRUE(guard.isNull() || !guard->isVisible());
}
