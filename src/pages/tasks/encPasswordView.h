#pragma once

#include "PasswordDialogBase.h"

class EncryptDelegate;
class QLabel;
class QLineEdit;
class QPushButton;
class customizeButton;

// Sets the password of a file or folder about to be encrypted: typed twice under the live
// password rules, then handed to the main window's encryption run. Keeps nothing.
class encPasswordView : public PasswordDialogBase {
    Q_OBJECT
public:
    explicit encPasswordView(QWidget* parent = nullptr);

    QString encryptPath;
    EncryptDelegate* passEncInfoDelegate = nullptr; // not owned

public Q_SLOTS:
    void startClick();
    void controlTextDidChange();

private:
    QLabel* passwordHint = nullptr;
    customizeButton* doneButton = nullptr; // Start; enabled only while the rules pass
    QLineEdit* encPasswordField = nullptr;
    QLineEdit* encPasswordConfirmField = nullptr;
    QLineEdit* encPasswordField_show = nullptr;
    QLineEdit* encPasswordConfirmField_show = nullptr;
    QPushButton* passwordShowBtn = nullptr;
    QPushButton* confirmShowBtn = nullptr;
};
