#pragma once

#include <QString>

class QAbstractButton;
class QLineEdit;

// A masked password field and its plain-text twin in the same place, swapped by an eye
// button. Code always reads the field of the pair that is not hidden.
class PasswordTwin {
public:
    // Masked field shown, twin hidden, eye "ic_password_on".
    static void reset(QLineEdit* masked, QLineEdit* plain, QAbstractButton* eye);
    // Shows the other field, copying the text across, and sets the eye picture.
    static void toggle(QLineEdit* masked, QLineEdit* plain, QAbstractButton* eye);
    static QString visibleText(const QLineEdit* masked, const QLineEdit* plain);
    static void setEyeImage(QAbstractButton* eye, const QString& imageName);
};
