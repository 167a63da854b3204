#pragma once

#include <QDialog>
#include <QList>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class customizeButton;

// What the encrypt and decrypt password dialogs share: the icon and headline, labelled rows
// of a masked field with its plain twin and eye, and Cancel / Start under them. Closing
// always wipes every password field first, so no password outlives the dialog.
class PasswordDialogBase : public QDialog {
    Q_OBJECT
public:
    // Application-modal, deleted on close, returns at once; the first password row has the focus.
    void present();

public Q_SLOTS:
    void cancelClick();
    // Esc closes like Cancel.
    void reject() override;

protected:
    PasswordDialogBase(const QString& name, const QString& title, const QString& iconName, const QString& headline,
                       QWidget* parent);

    // Adds the next password row (both fields placeheld by `placeholder`); returns its eye.
    QPushButton* addPasswordRow(const QString& label, const QString& placeholder, QLineEdit*& masked, QLineEdit*& plain);
    // Adds Cancel and the start button (enabled) as the last row; returns the start button.
    customizeButton* addButtonRow(const QString& startText);
    QVBoxLayout* dialogLayout() const { return layout_; }
    // Fixes the size once every row is in.
    void fixSize();
    void closeDialog(int result);

private:
    customizeButton* cancelButton = nullptr;

    QVBoxLayout* layout_ = nullptr;
    QGridLayout* fields_ = nullptr;
    QList<QLineEdit*> passwordFields_;
};
