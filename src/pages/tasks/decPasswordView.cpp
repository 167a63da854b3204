#include "decPasswordView.h"

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

    // Controls go by their names, so the window can be driven from outside without reaching into it.
    for (const auto& [control, name] : std::initializer_list<std::pair<QObject*, const char*>> {
             { decPasswordField, "decPasswordField" },
             { decPasswordField_show, "decPasswordField_show" },
             { passwordShowBtn, "passwordShowBtn" },
             { startButton, "startButton" } })
        if (control)
            control->setObjectName(QLatin1String(name));
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
