#include "getPasswordViewController.h"

#include "ControlNames.h"
#include "ControlStyle.h"
#include "PasswordTwin.h"
#include "SendPasswordDelegate.h"
#include "ZorviImages.h"
#include "customizeButton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

getPasswordViewController::getPasswordViewController(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("getPasswordView"));
    setWindowTitle(tr("Password"));
    setWindowFlags(ControlStyle::dialogFlags());
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#getPasswordView { background: %1; }").arg(ControlStyle::css(ControlStyle::dialogBackground())));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);

    auto* head = new QHBoxLayout;
    iconImage = new QLabel(this);
    iconImage->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_log_encrypt"), QSize(48, 48)));
    head->addWidget(iconImage, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    titleLabel = new QLabel(tr("Encrypted task"), this);
    titleLabel->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(16, true)));
    msgLabel = new QLabel(tr("Enter the task's password to change its settings."), this);
    msgLabel->setWordWrap(true);
    msgLabel->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(13)));
    texts->addWidget(titleLabel);
    texts->addWidget(msgLabel);
    head->addLayout(texts, 1);
    layout->addLayout(head);

    auto* fields = new QGridLayout;
    passwordLabel = new QLabel(tr("Password:"), this);
    passwordField = new QLineEdit(this);
    passwordField_show = new QLineEdit(this);
    for (QLineEdit* field : { passwordField, passwordField_show }) {
        field->setPlaceholderText(tr("Password"));
        field->setMinimumWidth(220);
    }
    showPasswordBtn = new QPushButton(this);
    showPasswordBtn->setFlat(true);
    showPasswordBtn->setFocusPolicy(Qt::NoFocus);
    showPasswordBtn->setIconSize(QSize(20, 20));
    showPasswordBtn->setFixedSize(28, 28);
    fields->addWidget(passwordLabel, 0, 0);
    fields->addWidget(passwordField, 0, 1);
    fields->addWidget(passwordField_show, 0, 1);
    fields->addWidget(showPasswordBtn, 0, 2);
    layout->addLayout(fields);
    PasswordTwin::reset(passwordField, passwordField_show, showPasswordBtn);

    auto* buttons = new QHBoxLayout;
    cancelButton = new customizeButton(tr("Cancel"), this);
    okButton = new customizeButton(tr("OK"), this);
    for (customizeButton* b : { cancelButton, okButton }) {
        b->setMinimumSize(96, 30);
        b->setAutoDefault(false);
    }
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(okButton);
    layout->addLayout(buttons);

    connect(showPasswordBtn, &QPushButton::clicked, this, &getPasswordViewController::showPasswordClicked);
    connect(cancelButton, &QPushButton::clicked, this, &getPasswordViewController::cancelClicked);
    connect(okButton, &QPushButton::clicked, this, &getPasswordViewController::okClicked);
    connect(passwordField, &QLineEdit::returnPressed, this, &getPasswordViewController::okClicked);
    connect(passwordField_show, &QLineEdit::returnPressed, this, &getPasswordViewController::okClicked);
    setFixedSize(sizeHint().expandedTo(QSize(400, 0)));

    ControlNames::apply({
        { titleLabel, "titleLabel" },
        { passwordField, "passwordField" },
        { passwordField_show, "passwordField_show" },
        { iconImage, "iconImage" },
        { showPasswordBtn, "showPasswordBtn" },
        { passwordLabel, "passwordLabel" },
        { msgLabel, "msgLabel" },
        { okButton, "okButton" },
        { cancelButton, "cancelButton" }
    });
}

void getPasswordViewController::present()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    open();
    passwordField->setFocus();
}

void getPasswordViewController::showPasswordClicked()
{
    PasswordTwin::toggle(passwordField, passwordField_show, showPasswordBtn);
}

void getPasswordViewController::cancelClicked()
{
    done(QDialog::Rejected);
}

void getPasswordViewController::reject()
{
    cancelClicked();
}

void getPasswordViewController::okClicked()
{
    const QString password = PasswordTwin::visibleText(passwordField, passwordField_show);
    if (myDelegate)
        myDelegate->sendPassword(password);
    done(QDialog::Accepted);
}
