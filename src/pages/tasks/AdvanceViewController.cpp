#include "AdvanceViewController.h"

#include "AdvInfoDelegate.h"
#include "ControlNames.h"
#include "ControlStyle.h"
#include "PasswordRules.h"
#include "PasswordTwin.h"
#include "UtilityFunctions.h"
#include "customizeButton.h"
#include "myDateBtn.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {
QLabel* sectionTitle(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(15, true)));
    return label;
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(14)));
    return label;
}

QPushButton* eyeButton(QWidget* parent)
{
    auto* eye = new QPushButton(parent);
    eye->setFlat(true);
    eye->setFocusPolicy(Qt::NoFocus);
    eye->setIconSize(QSize(20, 20));
    eye->setFixedSize(28, 28);
    eye->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
    return eye;
}
} // namespace

AdvanceViewController::AdvanceViewController(QWidget* parent, const TaskInfoPtr& representedObject)
    : QDialog(parent)
    , password(PasswordRules::noPasswordMarker())
{
    setObjectName(QStringLiteral("AdvanceViewController"));
    setWindowTitle(tr("Advanced Settings"));
    setWindowFlags(ControlStyle::dialogFlags());
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#AdvanceViewController { background: %1; }").arg(ControlStyle::css(ControlStyle::dialogBackground())));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(10);

    // --- mode and password ---
    layout->addWidget(sectionTitle(tr("Security"), this));
    compressCheckbox = new QCheckBox(tr("Compress the backup into an archive"), this);
    compressCheckbox->setStyleSheet(QStringLiteral("QCheckBox { color: rgb(51, 51, 51); font-family: \"%1\"; font-size: 16px; }").arg(ControlStyle::family()));
    layout->addWidget(compressCheckbox);
    encryptCombobox = new QComboBox(this);
    encryptCombobox->setObjectName(QStringLiteral("SecurityModeCombo"));
    encryptCombobox->addItem(tr("No security required"));
    encryptCombobox->addItem(tr("Protect with a password"));
    layout->addWidget(encryptCombobox);
    taskProtectLebel = plainLabel(tr("The archive can only be restored with this password."), this);
    taskProtectLebel->setWordWrap(true);
    layout->addWidget(taskProtectLebel);

    passwordSettingView = new QWidget(this);
    auto* grid = new QGridLayout(passwordSettingView);
    grid->setContentsMargins(0, 0, 0, 0);
    passwordLabel = plainLabel(tr("Password:"), passwordSettingView);
    confirmLabel = plainLabel(tr("Confirm:"), passwordSettingView);
    passwordField = new QLineEdit(passwordSettingView);
    passwordField_show = new QLineEdit(passwordSettingView);
    passwordConfirmField = new QLineEdit(passwordSettingView);
    passwordConfirmField_show = new QLineEdit(passwordSettingView);
    passwordShowBtn = eyeButton(passwordSettingView);
    confirmShowBtn = eyeButton(passwordSettingView);
    grid->addWidget(passwordLabel, 0, 0);
    grid->addWidget(passwordField, 0, 1);
    grid->addWidget(passwordField_show, 0, 1);
    grid->addWidget(passwordShowBtn, 0, 2);
    grid->addWidget(confirmLabel, 1, 0);
    grid->addWidget(passwordConfirmField, 1, 1);
    grid->addWidget(passwordConfirmField_show, 1, 1);
    grid->addWidget(confirmShowBtn, 1, 2);
    passwordHint = new QLabel(passwordSettingView);
    passwordHint->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::greyText()), ControlStyle::cssFont(12)));
    grid->addWidget(passwordHint, 2, 1, 1, 2);
    for (QLineEdit* field : { passwordField, passwordField_show })
        field->setPlaceholderText(tr("Password"));
    for (QLineEdit* field : { passwordConfirmField, passwordConfirmField_show })
        field->setPlaceholderText(tr("Confirm"));
    layout->addWidget(passwordSettingView);

    // --- schedule ---
    layout->addSpacing(6);
    layout->addWidget(sectionTitle(tr("Schedule"), this));
    auto* scheduleRow = new QHBoxLayout;
    scheduleMsgText = plainLabel(tr("Back up automatically:"), this);
    scheduleModeCombobox = new QComboBox(this);
    scheduleModeCombobox->setObjectName(QStringLiteral("scheduleModeCombo"));
    scheduleModeCombobox->addItems({ tr("None"), tr("Daily"), tr("Weekly"), tr("Monthly") });
    scheduleTimePicker = new QTimeEdit(this);
    scheduleTimePicker->setDisplayFormat(QStringLiteral("HH:mm"));
    const QTime now = QTime::currentTime();
    scheduleTimePicker->setTime(QTime(now.hour(), now.minute()));
    scheduleRow->addWidget(scheduleMsgText);
    scheduleRow->addWidget(scheduleModeCombobox);
    scheduleRow->addWidget(scheduleTimePicker);
    scheduleRow->addStretch(1);
    layout->addLayout(scheduleRow);

    auto* weekdays = new QHBoxLayout;
    const QLocale locale;
    for (int number = 1; number <= 7; ++number) {
        const int qtDay = number == 1 ? 7 : number - 1; // Qt counts from Monday
        auto* check = new QCheckBox(locale.dayName(qtDay, QLocale::ShortFormat), this);
        check->setProperty("identifier", QString::number(number));
        check->setStyleSheet(QStringLiteral("QCheckBox { color: rgb(51, 51, 51); font-family: \"%1\"; font-size: 14px; }").arg(ControlStyle::family()));
        weekdayCheckArray.append(check);
        weekdays->addWidget(check);
    }
    weekdays->addStretch(1);
    layout->addLayout(weekdays);

    auto* days = new QGridLayout;
    days->setSpacing(4);
    for (int day = 1; day <= 31; ++day) {
        auto* button = new myDateBtn(QString::number(day), this);
        button->setProperty("identifier", QString::number(day));
        dateBtnArray.append(button);
        days->addWidget(button, (day - 1) / 7, (day - 1) % 7);
    }
    days->setColumnStretch(7, 1);
    layout->addLayout(days);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    cancelButton = new customizeButton(tr("Cancel"), this);
    doneButton = new customizeButton(tr("Done"), this);
    for (customizeButton* b : { cancelButton, doneButton }) {
        b->setMinimumSize(96, 30);
        b->setAutoDefault(false);
    }
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(doneButton);
    layout->addLayout(buttons);

    connect(compressCheckbox, &QCheckBox::clicked, this, &AdvanceViewController::compressCheckboxClicked);
    connect(encryptCombobox, &QComboBox::currentIndexChanged, this, &AdvanceViewController::securitySelectionChanged);
    connect(scheduleModeCombobox, &QComboBox::currentIndexChanged, this, &AdvanceViewController::scheduleModeChanged);
    connect(passwordShowBtn, &QPushButton::clicked, this, &AdvanceViewController::passwordVisableSwitchClicked);
    connect(confirmShowBtn, &QPushButton::clicked, this, &AdvanceViewController::passwordConfirmVisableSwitchClicked);
    for (QLineEdit* field : { passwordField, passwordField_show, passwordConfirmField, passwordConfirmField_show })
        connect(field, &QLineEdit::textEdited, this, &AdvanceViewController::controlTextDidChange);
    connect(doneButton, &QPushButton::clicked, this, &AdvanceViewController::DoneClicked);
    connect(cancelButton, &QPushButton::clicked, this, &AdvanceViewController::CancelClicked);

    // Starting state: no archive, no password area, no schedule controls.
    encryptCombobox->setToolTip(encryptCombobox->currentText());
    encryptCombobox->setEnabled(false);
    passwordSettingView->hide();
    taskProtectLebel->hide();
    passwordHint->hide();
    for (myDateBtn* button : std::as_const(dateBtnArray)) {
        if (button->clickFlag)
            button->toggleClickFlag();
        button->hide();
    }
    for (QCheckBox* check : std::as_const(weekdayCheckArray)) {
        check->setChecked(false);
        check->hide();
    }
    scheduleTimePicker->hide();
    PasswordTwin::reset(passwordField, passwordField_show, passwordShowBtn);
    PasswordTwin::reset(passwordConfirmField, passwordConfirmField_show, confirmShowBtn);

    if (representedObject)
        loadTask(representedObject);
    setMinimumWidth(520);

    ControlNames::apply({
        { compressCheckbox, "compressCheckbox" },
        { passwordField, "passwordField" },
        { passwordConfirmField, "passwordConfirmField" },
        { passwordField_show, "passwordField_show" },
        { passwordConfirmField_show, "passwordConfirmField_show" },
        { passwordSettingView, "passwordSettingView" },
        { taskProtectLebel, "taskProtectLebel" },
        { passwordHint, "passwordHint" },
        { doneButton, "doneButton" },
        { cancelButton, "cancelButton" },
        { passwordLabel, "passwordLabel" },
        { confirmLabel, "confirmLabel" },
        { scheduleMsgText, "scheduleMsgText" },
        { passwordShowBtn, "passwordShowBtn" },
        { confirmShowBtn, "confirmShowBtn" },
        { scheduleTimePicker, "scheduleTimePicker" }
    });
    for (qsizetype i = 0; i < dateBtnArray.size(); ++i)
        dateBtnArray[i]->setObjectName(QStringLiteral("dateBtn%1").arg(i + 1));
    for (qsizetype i = 0; i < weekdayCheckArray.size(); ++i)
        weekdayCheckArray[i]->setObjectName(QStringLiteral("weekdayCheck%1").arg(i + 1));
}

void AdvanceViewController::present()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    open();
}

int AdvanceViewController::numberOf(const QWidget* control)
{
    return control->property("identifier").toString().toInt();
}

void AdvanceViewController::loadTask(const TaskInfoPtr& task)
{
    if (task->function == 3) {
        // A stored password is never shown in plain text.
        passwordShowBtn->hide();
        confirmShowBtn->hide();
        compressCheckbox->setChecked(true);
        encryptCombobox->setEnabled(true);
        selectSecurityItem(1);
        passwordField->setText(task->password);
        passwordConfirmField->setText(task->password);
    } else if (task->function == 2) {
        compressCheckbox->setChecked(true);
        encryptCombobox->setEnabled(true);
    }

    int item = -1;
    if (task->scheduleMode == QLatin1String("Daily"))
        item = 1;
    else if (task->scheduleMode == QLatin1String("Weekly"))
        item = 2;
    else if (task->scheduleMode == QLatin1String("Monthly"))
        item = 3;
    if (item < 0)
        return;
    selectScheduleItem(item);
    const QTime time(int(task->hour), int(task->minute));
    if (time.isValid())
        scheduleTimePicker->setTime(time);
    if (item == 2) {
        for (QCheckBox* check : std::as_const(weekdayCheckArray))
            if (task->weekday.contains(numberOf(check)))
                check->setChecked(true);
    } else if (item == 3) {
        for (myDateBtn* button : std::as_const(dateBtnArray))
            if (task->date.contains(numberOf(button)) && !button->clickFlag)
                button->toggleClickFlag();
    }
}

void AdvanceViewController::selectSecurityItem(int index)
{
    if (encryptCombobox->currentIndex() == index)
        securitySelectionChanged();
    else
        encryptCombobox->setCurrentIndex(index); // runs the same handling
}

void AdvanceViewController::selectScheduleItem(int index)
{
    if (scheduleModeCombobox->currentIndex() == index)
        scheduleModeChanged();
    else
        scheduleModeCombobox->setCurrentIndex(index);
}

void AdvanceViewController::securitySelectionChanged()
{
    const int index = encryptCombobox->currentIndex();
    if (index <= 0) {
        encryptCombobox->setToolTip(encryptCombobox->itemText(0));
        taskProtectLebel->hide();
        passwordSettingView->hide();
        doneButton->setEnabled(true);
        passwordField->clear();
        passwordConfirmField->clear();
        function = 2;
    } else {
        encryptCombobox->setToolTip(encryptCombobox->itemText(1));
        taskProtectLebel->show();
        passwordSettingView->show();
        doneButton->setEnabled(false);
        function = 3;
    }
}

void AdvanceViewController::scheduleModeChanged()
{
    const int index = scheduleModeCombobox->currentIndex();
    if (index < 0 || index > 3)
        return;
    for (myDateBtn* button : std::as_const(dateBtnArray))
        if (button->clickFlag)
            button->toggleClickFlag();
    for (QCheckBox* check : std::as_const(weekdayCheckArray))
        check->setChecked(false);
    for (myDateBtn* button : std::as_const(dateBtnArray))
        button->setVisible(index == 3);
    for (QCheckBox* check : std::as_const(weekdayCheckArray))
        check->setVisible(index == 2);
    scheduleTimePicker->setVisible(index != 0);
}

void AdvanceViewController::compressCheckboxClicked()
{
    if (compressCheckbox->isChecked()) {
        encryptCombobox->setEnabled(true);
        function = 2;
        return;
    }
    password = PasswordRules::noPasswordMarker();
    passwordField->clear();
    passwordConfirmField->clear();
    selectSecurityItem(0);
    encryptCombobox->setEnabled(false);
    function = 1;
}

void AdvanceViewController::collectSchedule(const QString& mode)
{
    const QTime time = scheduleTimePicker->time();
    if (mode == QLatin1String("None")) {
        date.clear();
        weekday.clear();
        hour = -1;
        minute = -1;
    } else if (mode == QLatin1String("Daily")) {
        hour = time.hour();
        minute = time.minute();
    } else if (mode == QLatin1String("Weekly")) {
        weekday.clear();
        for (QCheckBox* check : std::as_const(weekdayCheckArray))
            if (check->isChecked())
                weekday.append(numberOf(check));
        hour = time.hour();
        minute = time.minute();
        date.clear();
    } else if (mode == QLatin1String("Monthly")) {
        date.clear();
        for (myDateBtn* button : std::as_const(dateBtnArray))
            if (button->clickFlag)
                date.append(numberOf(button));
        hour = time.hour();
        minute = time.minute();
        weekday.clear();
    }
}

void AdvanceViewController::controlTextDidChange()
{
    const QString p = PasswordTwin::visibleText(passwordField, passwordField_show);
    const QString c = PasswordTwin::visibleText(passwordConfirmField, passwordConfirmField_show);
    // What is typed in either field must keep the rules; a broken rule leaves Done as it is.
    for (const QString& text : { p, c }) {
        QString broken;
        if (!PasswordRules::hasOnlyAllowedCharacters(text))
            broken = tr("A password supports up to 16 alphanumeric characters");
        else if (!text.isEmpty() && !PasswordRules::hasAllowedLength(text))
            broken = tr("The password must be between 4-16 characters.");
        if (!broken.isEmpty()) {
            passwordHint->setText(broken);
            passwordHint->show();
            return;
        }
    }
    passwordHint->hide();
    // The hidden twin may still hold text the eye button copied across.
    if (passwordConfirmField->text().isEmpty() && passwordConfirmField_show->text().isEmpty())
        return;
    passwordHint->setText(p == c ? tr("Passwords match.") : tr("Passwords do not match."));
    passwordHint->show();
    doneButton->setEnabled(p == c);
}

void AdvanceViewController::passwordVisableSwitchClicked()
{
    PasswordTwin::toggle(passwordField, passwordField_show, passwordShowBtn);
}

void AdvanceViewController::passwordConfirmVisableSwitchClicked()
{
    PasswordTwin::toggle(passwordConfirmField, passwordConfirmField_show, confirmShowBtn);
}

void AdvanceViewController::failPassword(const QString& message)
{
    UtilityFunctions::showMessageView(this, tr("Error"), QStringLiteral("ic_log_fail"), message, false);
    for (QLineEdit* field : { passwordField, passwordField_show, passwordConfirmField, passwordConfirmField_show })
        field->clear();
    passwordField->setFocus();
    if (!passwordField_show->isHidden())
        passwordField_show->setFocus();
}

void AdvanceViewController::DoneClicked()
{
    if (!compressCheckbox->isChecked())
        function = 1;
    else
        function = encryptCombobox->currentText() == tr("No security required") ? 2 : 3;

    const QString text = scheduleModeCombobox->currentText();
    if (text == tr("None"))
        scheduleMode = QStringLiteral("None");
    else if (text == tr("Daily"))
        scheduleMode = QStringLiteral("Daily");
    else if (text == tr("Weekly"))
        scheduleMode = QStringLiteral("Weekly");
    else if (text == tr("Monthly"))
        scheduleMode = QStringLiteral("Monthly");
    else
        scheduleMode = QStringLiteral("None");
    collectSchedule(scheduleMode);

    // A weekly or monthly schedule without a day would never run.
    if (scheduleMode == QLatin1String("Weekly") && weekday.isEmpty()) {
        UtilityFunctions::showMessageView(this, tr("Error"), QStringLiteral("ic_log_fail"),
                                          tr("Please choose at least one day of the week."), false);
        return;
    }
    if (scheduleMode == QLatin1String("Monthly") && date.isEmpty()) {
        UtilityFunctions::showMessageView(this, tr("Error"), QStringLiteral("ic_log_fail"),
                                          tr("Please choose at least one day of the month."), false);
        return;
    }

    if (function == 3) {
        const QString p = PasswordTwin::visibleText(passwordField, passwordField_show);
        const QString c = PasswordTwin::visibleText(passwordConfirmField, passwordConfirmField_show);
        if (p != c) {
            failPassword(tr("Confirmation password does not match"));
            return;
        }
        if (p.isEmpty()) {
            failPassword(tr("Password can't be empty!"));
            return;
        }
        // The live hint can be ignored; Done cannot.
        if (!PasswordRules::hasOnlyAllowedCharacters(p)) {
            failPassword(tr("A password supports up to 16 alphanumeric characters"));
            return;
        }
        if (!PasswordRules::hasAllowedLength(p)) {
            failPassword(tr("The password must be between 4-16 characters."));
            return;
        }
        password = p;
        // Shown over the editor: this dialog is about to close.
        QObject* presenter = parentWidget() ? static_cast<QObject*>(parentWidget()) : this;
        UtilityFunctions::showMessageView(presenter, tr("Attention"), QStringLiteral("ic_log_lable"),
                                          tr("Please remember the password. For security reasons, there is no password recovery mechanism."),
                                          false);
    } else {
        password = PasswordRules::noPasswordMarker();
    }
    if (advDelegate)
        advDelegate->sendAdvInfo(function, password, scheduleMode, hour, minute, date, weekday);
    done(QDialog::Accepted);
}

void AdvanceViewController::CancelClicked()
{
    done(QDialog::Rejected);
}

void AdvanceViewController::reject()
{
    CancelClicked();
}
