#include "encPasswordView.h"

#include "ControlStyle.h"
#include "EncryptDelegate.h"
#include "PasswordRules.h"
#include "PasswordTwin.h"
#include "UtilityFunctions.h"
#include "ZorviImages.h"
#include "customizeButton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton* makeEye(QWidget* parent)
{
    auto* eye = new QPushButton(parent);
    eye->setFlat(true);
    eye->setFocusPolicy(Qt::NoFocus);
    eye->setIconSize(QSize(20, 20));
    eye->setFixedSize(28, 28);
    return eye;
}

} // namespace

encPasswordView::encPasswordView(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("encPasswordView"));
    setWindowTitle(tr("Encrypt"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#encPasswordView { background: %1; }")
                      .arg(ControlStyle::css(ControlStyle::dialogBackground())));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);

    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_log_encrypt"), QSize(48, 48)));
    head->addWidget(icon, 0, Qt::AlignTop);
    auto* title = new QLabel(tr("Set a password for the encrypted file"), this);
    title->setWordWrap(true);
    title->setStyleSheet(QStringLiteral("color: %1; %2")
                             .arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(16, true)));
    head->addWidget(title, 1, Qt::AlignVCenter);
    layout->addLayout(head);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    encPasswordField = new QLineEdit(this);
    encPasswordField_show = new QLineEdit(this);
    encPasswordConfirmField = new QLineEdit(this);
    encPasswordConfirmField_show = new QLineEdit(this);
    for (QLineEdit* f : {encPasswordField, encPasswordField_show})
        f->setPlaceholderText(tr("Password"));
    for (QLineEdit* f : {encPasswordConfirmField, encPasswordConfirmField_show})
        f->setPlaceholderText(tr("Confirm"));
    passwordShowBtn = makeEye(this);
    confirmShowBtn = makeEye(this);
    auto* passwordLabel = new QLabel(tr("Password:"), this);
    auto* confirmLabel = new QLabel(tr("Confirm:"), this);
    for (QLabel* l : {passwordLabel, confirmLabel})
        l->setStyleSheet(QStringLiteral("color: %1; %2")
                             .arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(13)));
    fields->addWidget(passwordLabel, 0, 0);
    fields->addWidget(encPasswordField, 0, 1);
    fields->addWidget(encPasswordField_show, 0, 1);
    fields->addWidget(passwordShowBtn, 0, 2);
    fields->addWidget(confirmLabel, 1, 0);
    fields->addWidget(encPasswordConfirmField, 1, 1);
    fields->addWidget(encPasswordConfirmField_show, 1, 1);
    fields->addWidget(confirmShowBtn, 1, 2);
    fields->setColumnMinimumWidth(1, 240);
    layout->addLayout(fields);
    PasswordTwin::reset(encPasswordField, encPasswordField_show, passwordShowBtn);
    PasswordTwin::reset(encPasswordConfirmField, encPasswordConfirmField_show, confirmShowBtn);

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
    layout->addWidget(passwordHint);

    auto* buttons = new QHBoxLayout;
    cancelButton = new customizeButton(tr("Cancel"), this);
    doneButton = new customizeButton(tr("Start"), this);
    for (customizeButton* b : {cancelButton, doneButton}) {
        b->setMinimumSize(96, 30);
        b->setAutoDefault(false);
    }
    doneButton->setEnabled(false);
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(doneButton);
    layout->addLayout(buttons);

    for (QLineEdit* f : {encPasswordField, encPasswordField_show, encPasswordConfirmField, encPasswordConfirmField_show}) {
        connect(f, &QLineEdit::textChanged, this, &encPasswordView::controlTextDidChange);
        connect(f, &QLineEdit::returnPressed, this, [this] {
            if (doneButton->isEnabled())
                startClick();
        });
    }
    connect(passwordShowBtn, &QPushButton::clicked, this, &encPasswordView::passwordShowClicked);
    connect(confirmShowBtn, &QPushButton::clicked, this, &encPasswordView::confirmShowClicked);
    connect(cancelButton, &QPushButton::clicked, this, &encPasswordView::cancelClick);
    connect(doneButton, &QPushButton::clicked, this, &encPasswordView::startClick);
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
}

void encPasswordView::present()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    open();
    encPasswordField->setFocus();
}

void encPasswordView::passwordShowClicked()
{
    PasswordTwin::toggle(encPasswordField, encPasswordField_show, passwordShowBtn);
}

void encPasswordView::confirmShowClicked()
{
    PasswordTwin::toggle(encPasswordConfirmField, encPasswordConfirmField_show, confirmShowBtn);
}

void encPasswordView::controlTextDidChange()
{
    const QString p = PasswordTwin::visibleText(encPasswordField, encPasswordField_show);
    const QString c = PasswordTwin::visibleText(encPasswordConfirmField, encPasswordConfirmField_show);
    // Start follows the whole rule set, so an empty or rule-breaking password never starts a run.
    doneButton->setEnabled(PasswordRules::check(p, c) == PasswordRules::Verdict::Ok);

    if (!PasswordRules::hasOnlyAllowedCharacters(p)) {
        passwordHint->setText(tr("A password supports up to 16 alphanumeric characters"));
        passwordHint->show();
        return;
    }
    if (!p.isEmpty() && !PasswordRules::hasAllowedLength(p)) {
        passwordHint->setText(tr("The password must be between 4-16 characters."));
        passwordHint->show();
        return;
    }
    passwordHint->hide();
    if (encPasswordConfirmField_show->text().isEmpty() && encPasswordConfirmField->text().isEmpty())
        return;
    passwordHint->show();
    passwordHint->setText(p == c ? tr("Passwords match.") : tr("Passwords do not match."));
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

void encPasswordView::cancelClick()
{
    closeDialog(QDialog::Rejected);
}

void encPasswordView::reject()
{
    cancelClick();
}

void encPasswordView::closeDialog(int result)
{
    for (QLineEdit* f : {encPasswordField, encPasswordField_show, encPasswordConfirmField, encPasswordConfirmField_show}) {
        QSignalBlocker block(f);
        f->clear();
    }
    done(result);
}
