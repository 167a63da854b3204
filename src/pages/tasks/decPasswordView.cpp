#include "decPasswordView.h"

#include "ControlNames.h"
#include "DecryptDelegate.h"
#include "PasswordTwin.h"
#include "customizeButton.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

decPasswordView::decPasswordView(QWidget* parent)
    : PasswordDialogBase(QStringLiteral("decPasswordView"), tr("Decrypt"), QStringLiteral("ic_log_dencrypt"),
                         tr("Enter the password"), parent)
{
    passwordShowBtn = addPasswordRow(tr("Password:"), tr("Password"), decPasswordField, decPasswordField_show);
    startButton = addButtonRow(tr("Start"));

    connect(startButton, &QPushButton::clicked, this, &decPasswordView::startClick);
    connect(decPasswordField, &QLineEdit::returnPressed, this, &decPasswordView::startClick);
    connect(decPasswordField_show, &QLineEdit::returnPressed, this, &decPasswordView::startClick);
    fixSize();

    ControlNames::apply({
        { decPasswordField, "decPasswordField" },
        { decPasswordField_show, "decPasswordField_show" },
        { passwordShowBtn, "passwordShowBtn" },
        { startButton, "startButton" }
    });
}

void decPasswordView::startClick()
{
    const QString password = PasswordTwin::visibleText(decPasswordField, decPasswordField_show);
    QPointer<decPasswordView> self(this);
    if (passDecInfoDelegate) {
        // One receiver per showing: a decryption never releases a restore waiting for its password.
        if (purpose == Purpose::Restore)
            passDecInfoDelegate->restoreWithPassword(password);
        else if (!decryptPath.isEmpty())
            passDecInfoDelegate->decryptFile(decryptPath, password);
    }
    if (self)
        closeDialog(QDialog::Accepted);
}
