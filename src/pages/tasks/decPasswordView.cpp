#include "decPasswordView.h"

#include "ControlStyle.h"
#include "DecryptDelegate.h"
#include "PasswordTwin.h"
#include "ZorviImages.h"
#include "customizeButton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

decPasswordView::decPasswordView(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("decPasswordView"));
    setWindowTitle(tr("Decrypt"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#decPasswordView { background: %1; }")
                      .arg(ControlStyle::css(ControlStyle::dialogBackground())));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);

    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_log_dencrypt"), QSize(48, 48)));
    head->addWidget(icon, 0, Qt::AlignTop);
    auto* title = new QLabel(tr("Enter the password"), this);
    title->setWordWrap(true);
    title->setStyleSheet(QStringLiteral("color: %1; %2")
                             .arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(16, true)));
    head->addWidget(title, 1, Qt::AlignVCenter);
    layout->addLayout(head);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    auto* label = new QLabel(tr("Password:"), this);
    label->setStyleSheet(QStringLiteral("color: %1; %2")
                             .arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(13)));
    decPasswordField = new QLineEdit(this);
    decPasswordField_show = new QLineEdit(this);
    for (QLineEdit* f : {decPasswordField, decPasswordField_show})
        f->setPlaceholderText(tr("Password"));
    passwordShowBtn = new QPushButton(this);
    passwordShowBtn->setFlat(true);
    passwordShowBtn->setFocusPolicy(Qt::NoFocus);
    passwordShowBtn->setIconSize(QSize(20, 20));
    passwordShowBtn->setFixedSize(28, 28);
    fields->addWidget(label, 0, 0);
    fields->addWidget(decPasswordField, 0, 1);
    fields->addWidget(decPasswordField_show, 0, 1);
    fields->addWidget(passwordShowBtn, 0, 2);
    fields->setColumnMinimumWidth(1, 240);
    layout->addLayout(fields);
    PasswordTwin::reset(decPasswordField, decPasswordField_show, passwordShowBtn);

    auto* buttons = new QHBoxLayout;
    cancelButton = new customizeButton(tr("Cancel"), this);
    startButton = new customizeButton(tr("Start"), this);
    for (customizeButton* b : {cancelButton, startButton}) {
        b->setMinimumSize(96, 30);
        b->setAutoDefault(false);
    }
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(startButton);
    layout->addLayout(buttons);

    connect(passwordShowBtn, &QPushButton::clicked, this, &decPasswordView::passwordShowClicked);
    connect(cancelButton, &QPushButton::clicked, this, &decPasswordView::cancelClick);
    connect(startButton, &QPushButton::clicked, this, &decPasswordView::startClick);
    connect(decPasswordField, &QLineEdit::returnPressed, this, &decPasswordView::startClick);
    connect(decPasswordField_show, &QLineEdit::returnPressed, this, &decPasswordView::startClick);
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
}

void decPasswordView::present()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    open();
    decPasswordField->setFocus();
}

void decPasswordView::passwordShowClicked()
{
    PasswordTwin::toggle(decPasswordField, decPasswordField_show, passwordShowBtn);
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

void decPasswordView::cancelClick()
{
    closeDialog(QDialog::Rejected);
}

void decPasswordView::reject()
{
    cancelClick();
}

void decPasswordView::closeDialog(int result)
{
    decPasswordField->clear();
    decPasswordField_show->clear();
    done(result);
}
