#include "AdvInfoDelegate.h"
#include "AdvanceViewController.h"
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
    EXPECT_FALSE(d->encryptCombobox->isEnabled());
    EXPECT_TRUE(d->passwordSettingView->isHidden());
    EXPECT_TRUE(d->scheduleTimePicker->isHidden());
    for (auto* b : d->dateBtnArray)
        EXPECT_TRUE(b->isHidden());
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
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
    d->compressCheckbox->click();
    d->encryptCombobox->setCurrentIndex(1);
    EXPECT_FALSE(d->passwordSettingView->isHidden());
    EXPECT_FALSE(d->doneButton->isEnabled());

    struct Step {
        QLineEdit* field;
        QString type; // appended; "" with clear = true empties the field
        bool clear;
        QString hint; // "" = hidden
        bool done;
    };
    const std::vector<Step> steps {
        { d->passwordField, "abc", false, "The password must be between 4-16 characters.", false },
        { d->passwordField, "!", false, "A password supports up to 16 alphanumeric characters", false },
        { d->passwordField, "", true, "", false },
        { d->passwordField, "abcdefghijklmnopq", false, "The password must be between 4-16 characters.", false },
        { d->passwordField, "", true, "", false },
        { d->passwordField, "abcd", false, "", false },              // confirmation still empty
        { d->passwordConfirmField, "abcd", false, "Passwords match.", true },
        { d->passwordField, "!", false, "A password supports up to 16 alphanumeric characters", true },
        { d->passwordField, "", true, "", true },                   // the confirmation is not empty: step 6
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        if (s.clear)
            clear(s.field);
        else
            typeInto(s.field, s.type);
        if (i == 8) {
            // "" against "abcd": mismatch.
            EXPECT_EQ(d->passwordHint->text(), "Passwords do not match.");
            EXPECT_FALSE(d->doneButton->isEnabled());
            continue;
        }
        if (s.hint.isEmpty())
            EXPECT_TRUE(d->passwordHint->isHidden()) << "step " << i;
        else {
            EXPECT_FALSE(d->passwordHint->isHidden()) << "step " << i;
            EXPECT_EQ(d->passwordHint->text(), s.hint) << "step " << i;
        }
        EXPECT_EQ(d->doneButton->isEnabled(), s.done) << "step " << i;
    }

    typeInto(d->passwordField, "abce");
    EXPECT_EQ(d->passwordHint->text(), "Passwords do not match.");
    EXPECT_FALSE(d->doneButton->isEnabled());
    // Edits of the confirmation count too.
    clear(d->passwordConfirmField);
    typeInto(d->passwordConfirmField, "abce");
    EXPECT_EQ(d->passwordHint->text(), "Passwords match.");
    EXPECT_TRUE(d->doneButton->isEnabled());
}

TEST_F(AdvancedTest, LiveRulesCoverTheConfirmationAndBothItsFields)
{
    auto* d = open();
    d->compressCheckbox->click();
    d->encryptCombobox->setCurrentIndex(1);
    typeInto(d->passwordField, "abcd");
    typeInto(d->passwordConfirmField, "ab!");
    EXPECT_EQ(d->passwordHint->text(), "A password supports up to 16 alphanumeric characters");
    EXPECT_FALSE(d->doneButton->isEnabled());
    clear(d->passwordConfirmField);
    typeInto(d->passwordConfirmField, "abc");
    EXPECT_EQ(d->passwordHint->text(), "The password must be between 4-16 characters.");
    typeInto(d->passwordConfirmField, "d");
    EXPECT_EQ(d->passwordHint->text(), "Passwords match.");
    EXPECT_TRUE(d->doneButton->isEnabled());

    // Shown in plain text and then emptied, the confirmation's hidden twin still holds
    // "abcd": the empty visible text is compared, not skipped.
    QTest::mouseClick(d->confirmShowBtn, Qt::LeftButton);
    ASSERT_FALSE(d->passwordConfirmField_show->isHidden());
    clear(d->passwordConfirmField_show);
    EXPECT_EQ(d->passwordConfirmField->text(), "abcd");
    EXPECT_FALSE(d->passwordHint->isHidden());
    EXPECT_EQ(d->passwordHint->text(), "Passwords do not match.");
    EXPECT_FALSE(d->doneButton->isEnabled());
}

TEST_F(AdvancedTest, EmptiedFieldsKeepDoneEnabledButDoneRefusesAnEmptyPassword)
{
    auto* d = open();
    d->compressCheckbox->click();
    d->encryptCombobox->setCurrentIndex(1);
    typeInto(d->passwordField, "abcd");
    typeInto(d->passwordConfirmField, "abcd");
    ASSERT_TRUE(d->doneButton->isEnabled());
    clear(d->passwordConfirmField);
    clear(d->passwordField);
    EXPECT_TRUE(d->doneButton->isEnabled());
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
    EXPECT_EQ(presenter.lastMessage(), "Password can't be empty!");
    EXPECT_TRUE(adv.answers.empty());
    EXPECT_TRUE(d->isVisible());
}

TEST_F(AdvancedTest, DoneReappliesTheRulesTheHintOnlyShowed)
{
    auto* d = open();
    d->compressCheckbox->click();
    d->encryptCombobox->setCurrentIndex(1);
    typeInto(d->passwordField, "ab!");
    typeInto(d->passwordConfirmField, "ab!");
    d->doneButton->setEnabled(true); // even if Done is reachable
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
    EXPECT_TRUE(adv.answers.empty());
    EXPECT_EQ(presenter.requests.back().title, "Error");
    EXPECT_EQ(presenter.lastMessage(), "A password supports up to 16 alphanumeric characters");
    EXPECT_TRUE(d->passwordField->text().isEmpty());
    EXPECT_TRUE(d->passwordConfirmField->text().isEmpty());

    typeInto(d->passwordField, "abc");
    typeInto(d->passwordConfirmField, "abc");
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
    EXPECT_EQ(presenter.lastMessage(), "The password must be between 4-16 characters.");
    EXPECT_TRUE(adv.answers.empty());
}

TEST_F(AdvancedTest, MismatchThenCorrectedAnswersEncryptedWithThePassword)
{
    auto* d = open();
    d->compressCheckbox->click();
    d->encryptCombobox->setCurrentIndex(1);
    d->scheduleModeCombobox->setCurrentIndex(2);
    d->weekdayCheckArray[1]->click();
    d->weekdayCheckArray[6]->click();
    typeInto(d->passwordField, "abcd");
    typeInto(d->passwordConfirmField, "abcd");
    typeInto(d->passwordField, "e");
    d->doneButton->setEnabled(true);
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
    EXPECT_EQ(presenter.lastMessage(), "Confirmation password does not match");
    EXPECT_TRUE(adv.answers.empty());

    // Typed in the plain twin: the visible field is read.
    QTest::mouseClick(d->passwordShowBtn, Qt::LeftButton);
    EXPECT_FALSE(d->passwordField_show->isHidden());
    EXPECT_TRUE(d->passwordField->isHidden());
    EXPECT_EQ(d->passwordShowBtn->property("imageName").toString(), "ic_password_off");
    typeInto(d->passwordField_show, "Pass1234");
    typeInto(d->passwordConfirmField, "Pass1234");
    ASSERT_TRUE(d->doneButton->isEnabled());
    d->scheduleTimePicker->setTime(QTime(22, 15));
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
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
    d->compressCheckbox->click();
    d->encryptCombobox->setCurrentIndex(1);
    EXPECT_EQ(d->confirmShowBtn->property("imageName").toString(), "ic_password_on");
    typeInto(d->passwordConfirmField, "abcd");
    QTest::mouseClick(d->confirmShowBtn, Qt::LeftButton);
    EXPECT_EQ(d->passwordConfirmField_show->text(), "abcd");
    typeInto(d->passwordConfirmField_show, "ef");
    QTest::mouseClick(d->confirmShowBtn, Qt::LeftButton);
    EXPECT_TRUE(d->passwordConfirmField_show->isHidden());
    EXPECT_EQ(d->passwordConfirmField->text(), "abcdef");
    EXPECT_EQ(d->confirmShowBtn->property("imageName").toString(), "ic_password_on");
}

TEST_F(AdvancedTest, LoadingAnEncryptedTask)
{
    auto t = task(3, "Daily", 6, 45);
    t->password = "Stored99";
    auto* d = open(t);
    EXPECT_TRUE(d->compressCheckbox->isChecked());
    EXPECT_TRUE(d->encryptCombobox->isEnabled());
    EXPECT_EQ(d->encryptCombobox->currentIndex(), 1);
    EXPECT_EQ(d->passwordField->text(), "Stored99");
    EXPECT_EQ(d->passwordConfirmField->text(), "Stored99");
    EXPECT_TRUE(d->passwordShowBtn->isHidden());
    EXPECT_TRUE(d->confirmShowBtn->isHidden());
    EXPECT_FALSE(d->doneButton->isEnabled());
    EXPECT_EQ(d->scheduleModeCombobox->currentIndex(), 1);
    EXPECT_EQ(d->scheduleTimePicker->time(), QTime(6, 45));
    EXPECT_FALSE(d->scheduleTimePicker->isHidden());
    typeInto(d->passwordField, "x");
    clear(d->passwordField);
    typeInto(d->passwordField, "Stored99");
    EXPECT_TRUE(d->doneButton->isEnabled());
}

TEST_F(AdvancedTest, LoadingArchiveMonthlyAndWeeklyTasks)
{
    auto* m = open(task(2, "Monthly", 1, 2, { 1, 15 }));
    EXPECT_TRUE(m->compressCheckbox->isChecked());
    EXPECT_EQ(m->encryptCombobox->currentIndex(), 0);
    for (auto* b : m->dateBtnArray) {
        EXPECT_FALSE(b->isHidden());
        const int day = b->property("identifier").toInt();
        EXPECT_EQ(b->clickFlag, day == 1 || day == 15) << day;
    }
    QTest::mouseClick(m->doneButton, Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 1u);
    EXPECT_EQ(adv.answers[0].function, 2);
    EXPECT_EQ(adv.answers[0].mode, "Monthly");
    EXPECT_EQ(adv.answers[0].date, QList<qint64>({ 1, 15 }));
    EXPECT_EQ(adv.answers[0].hour, 1);
    EXPECT_EQ(adv.answers[0].minute, 2);

    auto* w = open(task(1, "Weekly", 23, 59, {}, { 1, 4 }));
    EXPECT_FALSE(w->compressCheckbox->isChecked());
    for (auto* c : w->weekdayCheckArray) {
        EXPECT_FALSE(c->isHidden());
        const int n = c->property("identifier").toInt();
        EXPECT_EQ(c->isChecked(), n == 1 || n == 4) << n;
    }
    EXPECT_EQ(w->scheduleTimePicker->time(), QTime(23, 59));
    // "None" after "Weekly" forgets the time and the days.
    w->scheduleModeCombobox->setCurrentIndex(0);
    QTest::mouseClick(w->doneButton, Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 2u);
    EXPECT_EQ(adv.answers[1].mode, "None");
    EXPECT_EQ(adv.answers[1].hour, -1);
    EXPECT_EQ(adv.answers[1].minute, -1);
    EXPECT_TRUE(adv.answers[1].weekday.isEmpty());
}

TEST_F(AdvancedTest, WeeklyOrMonthlyWithoutADayCannotBeSaved)
{
    auto* d = open();
    d->scheduleModeCombobox->setCurrentIndex(2);
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
    EXPECT_TRUE(adv.answers.empty());
    EXPECT_EQ(presenter.requests.back().title, "Error");
    d->scheduleModeCombobox->setCurrentIndex(3);
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
    EXPECT_TRUE(adv.answers.empty());
    QTest::mouseClick(d->dateBtnArray[30], Qt::LeftButton);
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 1u);
    EXPECT_EQ(adv.answers[0].date, QList<qint64>({ 31 }));
}

TEST_F(AdvancedTest, UntickingTheArchiveInEncryptedModeAnswersPlainCopy)
{
    auto t = task(3, "None", -1, -1);
    auto* d = open(t);
    d->compressCheckbox->click();
    EXPECT_FALSE(d->compressCheckbox->isChecked());
    EXPECT_TRUE(d->passwordField->text().isEmpty());
    EXPECT_TRUE(d->passwordConfirmField->text().isEmpty());
    EXPECT_TRUE(d->passwordSettingView->isHidden());
    EXPECT_FALSE(d->encryptCombobox->isEnabled());
    EXPECT_TRUE(d->doneButton->isEnabled());
    QTest::mouseClick(d->doneButton, Qt::LeftButton);
    ASSERT_EQ(adv.answers.size(), 1u);
    EXPECT_EQ(adv.answers[0].function, 1);
    EXPECT_EQ(adv.answers[0].password, PasswordRules::noPasswordMarker());
}

TEST_F(AdvancedTest, CancelAnswersNothing)
{
    auto* d = open();
    QTest::mouseClick(d->cancelButton, Qt::LeftButton);
    EXPECT_TRUE(adv.answers.empty());
    EXPECT_TRUE(guard.isNull() || !guard->isVisible());
}
