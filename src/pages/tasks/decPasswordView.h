#pragma once

#include "PasswordDialogBase.h"

class DecryptDelegate;
class QLineEdit;
class QPushButton;
class customizeButton;

// Asks once for the password of an encrypted archive: for the Security page's decryption of a
// ".enc" file, or for the restore of an encrypted task. Each showing serves one purpose and
// answers only that receiver. Keeps nothing.
class decPasswordView : public PasswordDialogBase {
    Q_OBJECT
public:
    enum class Purpose { Decrypt, Restore };

    explicit decPasswordView(QWidget* parent = nullptr);

    Purpose purpose = Purpose::Decrypt;
    QString decryptPath; // the archive; unused for a restore
    DecryptDelegate* passDecInfoDelegate = nullptr; // not owned

public Q_SLOTS:
    void startClick();

private:
    QLineEdit* decPasswordField = nullptr;
    QLineEdit* decPasswordField_show = nullptr;
    QPushButton* passwordShowBtn = nullptr;
    customizeButton* startButton = nullptr;
};
