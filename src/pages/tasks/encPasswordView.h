#pragma once

#include <QDialog>

class EncryptDelegate;
class QLabel;
class QLineEdit;
class QPushButton;
class customizeButton;

// Sets the password of a file or folder about to be encrypted: typed twice under the live
// password rules, then handed to the main window's encryption run. Keeps nothing.
class encPasswordView : public QDialog {
    Q_OBJECT
public:
    explicit encPasswordView(QWidget* parent = nullptr);

    QLabel* passwordHint = nullptr;
    customizeButton* doneButton = nullptr; // Start; enabled only while the rules pass
    QString encryptPath;
    EncryptDelegate* passEncInfoDelegate = nullptr; // not owned
    QLineEdit* encPasswordField = nullptr;
    QLineEdit* encPasswordConfirmField = nullptr;
    QLineEdit* encPasswordField_show = nullptr;
    QLineEdit* encPasswordConfirmField_show = nullptr;
    QPushButton* passwordShowBtn = nullptr;
    QPushButton* confirmShowBtn = nullptr;
    customizeButton* cancelButton = nullptr;

    // Application-modal, deleted on close, returns at once.
    void present();

public Q_SLOTS:
    void cancelClick();
    void startClick();
    void passwordShowClicked();
    void confirmShowClicked();
    void controlTextDidChange();
    // Esc closes like Cancel.
    void reject() override;

private:
    void closeDialog(int result);
};
