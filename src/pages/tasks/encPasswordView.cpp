#include "encPasswordView.h"

#include "ControlNames.h"
#include "ControlStyle.h"
#include "EncryptDelegate.h"
#include "PasswordRules.h"
#include "PasswordTwin.h"
#include "UtilityFunctions.h"
#include "customizeButton.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

encPasswordView::encPasswordView(QWidget* parent)
    : PasswordDialogBase(QStringLiteral("encPasswordView"), tr("Encrypt"), QStringLiteral("ic_log_encrypt"),
                         tr("Set a password for the encrypted file"), parent)
{
    passwordShowBtn = addPasswordRow(tr("Password:"), tr("Password"), encPasswordField, encPasswordField_show);
    confirmShowBtn = addPasswordRow(tr("Confirm:"), tr("Confirm"), encPasswordConfirmField, encPasswordConfirmField_show);

    passwordHint = new QLabel(this);
    passwordHint->setWordWrap(true);
    passwordHint->setStyleSheet(QStringLiteral("color: %1; %2")
                                    .arg(ControlStyle::css(ControlStyle::greyText()), ControlStyle::cssFont(12)));
    // Keeps its row so the dialog does not jump as the hint comes and goes.
    QSizePolicy keep = passwordHint->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    passwordHint->setSizePolicy(keep);
    passwordHint->setText(tr("The password must be between 4-16 characters."));
    passwordHint->hide();
    dialogLayout()->addWidget(passwordHint);

    doneButton = addButtonRow(tr("Start"));
    doneButton->setEnabled(false);

    for (QLineEdit* f : {encPasswordField, encPasswordField_show, encPasswordConfirmField, encPasswordConfirmField_show}) {
        connect(f, &QLineEdit::textChanged, this, &encPasswordView::controlTextDidChange);
        connect(f, &QLineEdit::returnPressed, this, [this] {
            if (doneButton->isEnabled())
                startClick();
        });
    }
    connect(doneButton, &QPushButton::clicked, this, &encPasswordView::startClick);
    fixSize();

    ControlNames::apply({
        { passwordHint, "passwordHint" },
        { doneButton, "doneButton" },
        { encPasswordField, "encPasswordField" },
        { encPasswordConfirmField, "encPasswordConfirmField" },
        { encPasswordField_show, "encPasswordField_show" },
        { encPasswordConfirmField_show, "encPasswordConfirmField_show" },
        { passwordShowBtn, "passwordShowBtn" },
        { confirmShowBtn, "confirmShowBtn" }
    });
}

void encPasswordView::controlTextDidChange()
{
    const QString p = PasswordTwin::visibleText(encPasswordField, encPasswordField_show);
    const QString c = PasswordTwin::visibleText(encPasswordConfirmField, encPasswordConfirmField_show);
    // Start follows the whole rule set, so an empty or rule-breaking password never starts a run.
    doneButton->setEnabled(PasswordRules::check(p, c) == PasswordRules::Verdict::Ok);

    const QString hint = PasswordRules::liveHint(p, c);
    passwordHint->setText(hint);
    passwordHint->setVisible(!hint.isEmpty());
}

void encPasswordView::startClick()
{
    const QString p = PasswordTwin::visibleText(encPasswordField, encPasswordField_show);
    const QString c = PasswordTwin::visibleText(encPasswordConfirmField, encPasswordConfirmField_show);
    QString problem;
    switch (PasswordRules::check(p, c)) {
    case PasswordRules::Verdict::Ok:
        break;
    case PasswordRules::Verdict::Mismatch:
        problem = tr("Confirmation password does not match");
        break;
    case PasswordRules::Verdict::BadCharacters:
        problem = tr("A password supports up to 16 alphanumeric characters");
        break;
    case PasswordRules::Verdict::Empty:
    case PasswordRules::Verdict::TooShort:
    case PasswordRules::Verdict::TooLong:
        problem = tr("The password must be between 4-16 characters.");
        break;
    }
    if (!problem.isEmpty()) {
        doneButton->setEnabled(false);
        UtilityFunctions::showMessageView(this, tr("Error"), QStringLiteral("ic_log_fail"), problem, false);
        return;
    }
    QPointer<encPasswordView> self(this);
    if (passEncInfoDelegate)
        passEncInfoDelegate->encryptFiles(encryptPath, p);
    if (self)
        closeDialog(QDialog::Accepted);
}
