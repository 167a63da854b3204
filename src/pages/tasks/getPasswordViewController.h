#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class SendPasswordDelegate;
class customizeButton;

// Asks for an encrypted task's password before the Backup page opens the task editor; the
// typed text goes to the page, which compares it. Keeps nothing.
class getPasswordViewController : public QDialog {
    Q_OBJECT
public:
    explicit getPasswordViewController(QWidget* parent = nullptr);

    SendPasswordDelegate* myDelegate = nullptr; // not owned

    // Application-modal, deleted on close, returns at once.
    void present();

public Q_SLOTS:
    void showPasswordClicked();
    void cancelClicked();
    void okClicked();
    // Esc closes like Cancel.
    void reject() override;

private:
    QLabel* titleLabel = nullptr;
    QLineEdit* passwordField = nullptr;
    QLineEdit* passwordField_show = nullptr;
    QLabel* iconImage = nullptr;
    QPushButton* showPasswordBtn = nullptr;
    QLabel* passwordLabel = nullptr;
    QLabel* msgLabel = nullptr;
    customizeButton* okButton = nullptr;
    customizeButton* cancelButton = nullptr;
};
