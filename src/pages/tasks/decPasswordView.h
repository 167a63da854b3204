#pragma once

#include <QDialog>

class DecryptDelegate;
class QLineEdit;
class QPushButton;
class customizeButton;

// Asks once for the password of an encrypted archive: for the Security page's decryption of a
// ".enc" file, or for the restore of an encrypted task. Each showing serves one purpose and
// answers only that receiver. Keeps nothing.
class decPasswordView : public QDialog {
    Q_OBJECT
public:
    enum class Purpose { Decrypt, Restore };

    explicit decPasswordView(QWidget* parent = nullptr);

    Purpose purpose = Purpose::Decrypt;
    QString decryptPath; // the archive; unused for a restore
    DecryptDelegate* passDecInfoDelegate = nullptr; // not owned
    QLineEdit* decPasswordField = nullptr;
    QLineEdit* decPasswordField_show = nullptr;
    QPushButton* passwordShowBtn = nullptr;
    customizeButton* startButton = nullptr;
    customizeButton* cancelButton = nullptr;

    // Application-modal, deleted on close, returns at once.
    void present();

public Q_SLOTS:
    void cancelClick();
    void startClick();
    void passwordShowClicked();
    // Esc closes like Cancel.
    void reject() override;

private:
    void closeDialog(int result);
};
