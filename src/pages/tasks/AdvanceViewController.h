#pragma once

#include "TaskInfo.h"

#include <QDialog>
#include <QList>

class AdvInfoDelegate;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class QWidget;
class customizeButton;
class myDateBtn;

// The task's mode (copy, archive, encrypted archive), its password and its schedule. Filled
// from a task, checked live as the user types, and handed back through `advDelegate` on Done.
class AdvanceViewController : public QDialog {
    Q_OBJECT
public:
    // `representedObject`, when given, fills the controls.
    explicit AdvanceViewController(QWidget* parent = nullptr, const TaskInfoPtr& representedObject = nullptr);

    AdvInfoDelegate* advDelegate = nullptr; // not owned
    qint64 function = 1;
    QString password;
    QString scheduleMode = QStringLiteral("None");
    qint64 hour = -1;
    qint64 minute = -1;
    QList<qint64> date;
    QList<qint64> weekday;

    // Application-modal, deleted on close, returns at once.
    void present();

    void loadTask(const TaskInfoPtr& task);
    void scheduleModeChanged();
    void collectSchedule(const QString& mode);

public Q_SLOTS:
    void CancelClicked();
    void DoneClicked();
    void compressCheckboxClicked();
    void passwordVisableSwitchClicked();
    void passwordConfirmVisableSwitchClicked();
    void securitySelectionChanged();
    // The live rules, after every edit of one of the four password fields.
    void controlTextDidChange();
    void reject() override;

private:
    QCheckBox* compressCheckbox = nullptr;
    QComboBox* encryptCombobox = nullptr;
    QLineEdit* passwordField = nullptr;
    QLineEdit* passwordConfirmField = nullptr;
    QLineEdit* passwordField_show = nullptr;
    QLineEdit* passwordConfirmField_show = nullptr;
    QWidget* passwordSettingView = nullptr;
    QComboBox* scheduleModeCombobox = nullptr;
    QLabel* taskProtectLebel = nullptr;
    QLabel* passwordHint = nullptr;
    customizeButton* doneButton = nullptr;
    customizeButton* cancelButton = nullptr;
    QList<myDateBtn*> dateBtnArray;        // days 1..31
    QList<QCheckBox*> weekdayCheckArray;   // 1 = Sunday .. 7 = Saturday
    QLabel* passwordLabel = nullptr;
    QLabel* confirmLabel = nullptr;
    QLabel* scheduleMsgText = nullptr;
    QPushButton* passwordShowBtn = nullptr;
    QPushButton* confirmShowBtn = nullptr;
    QTimeEdit* scheduleTimePicker = nullptr;

    void selectSecurityItem(int index);
    void selectScheduleItem(int index);
    void failPassword(const QString& message);
    static int numberOf(const QWidget* control);
};
