#include "PasswordDialogBase.h"

#include "ControlStyle.h"
#include "PasswordTwin.h"
#include "ZorviImages.h"
#include "customizeButton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

PasswordDialogBase::PasswordDialogBase(const QString& name, const QString& title, const QString& iconName,
                                       const QString& headline, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(name);
    setWindowTitle(title);
    setWindowFlags(ControlStyle::dialogFlags());
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#%1 { background: %2; }").arg(name, ControlStyle::css(ControlStyle::dialogBackground())));

    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(24, 20, 24, 20);
    layout_->setSpacing(12);

    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(ZorviImages::pixmap(iconName, QSize(48, 48)));
    head->addWidget(icon, 0, Qt::AlignTop);
    auto* headlineLabel = new QLabel(headline, this);
    headlineLabel->setWordWrap(true);
    headlineLabel->setStyleSheet(QStringLiteral("color: %1; %2")
                                     .arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(16, true)));
    head->addWidget(headlineLabel, 1, Qt::AlignVCenter);
    layout_->addLayout(head);

    fields_ = new QGridLayout;
    fields_->setHorizontalSpacing(8);
    fields_->setColumnMinimumWidth(1, 240);
    layout_->addLayout(fields_);
}

QPushButton* PasswordDialogBase::addPasswordRow(const QString& label, const QString& placeholder, QLineEdit*& masked,
                                                QLineEdit*& plain)
{
    const int row = passwordFields_.size() / 2;
    auto* caption = new QLabel(label, this);
    caption->setStyleSheet(QStringLiteral("color: %1; %2")
                               .arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(13)));
    masked = new QLineEdit(this);
    plain = new QLineEdit(this);
    auto* eye = new QPushButton(this);
    eye->setFlat(true);
    eye->setFocusPolicy(Qt::NoFocus);
    eye->setIconSize(QSize(20, 20));
    eye->setFixedSize(28, 28);
    for (QLineEdit* f : {masked, plain})
        f->setPlaceholderText(placeholder);
    fields_->addWidget(caption, row, 0);
    fields_->addWidget(masked, row, 1);
    fields_->addWidget(plain, row, 1);
    fields_->addWidget(eye, row, 2);
    PasswordTwin::reset(masked, plain, eye);
    passwordFields_ << masked << plain;

    QLineEdit* m = masked;
    QLineEdit* p = plain;
    connect(eye, &QPushButton::clicked, this, [m, p, eye] { PasswordTwin::toggle(m, p, eye); });
    return eye;
}

customizeButton* PasswordDialogBase::addButtonRow(const QString& startText)
{
    auto* buttons = new QHBoxLayout;
    cancelButton = new customizeButton(tr("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto* start = new customizeButton(startText, this);
    for (customizeButton* b : {cancelButton, start}) {
        b->setMinimumSize(96, 30);
        b->setAutoDefault(false);
    }
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(start);
    layout_->addLayout(buttons);
    connect(cancelButton, &QPushButton::clicked, this, &PasswordDialogBase::cancelClick);
    return start;
}

void PasswordDialogBase::fixSize()
{
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
}

void PasswordDialogBase::present()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    open();
    if (!passwordFields_.isEmpty())
        passwordFields_.first()->setFocus();
}

void PasswordDialogBase::cancelClick()
{
    closeDialog(QDialog::Rejected);
}

void PasswordDialogBase::reject()
{
    cancelClick();
}

void PasswordDialogBase::closeDialog(int result)
{
    for (QLineEdit* f : std::as_const(passwordFields_)) {
        QSignalBlocker block(f);
        f->clear();
    }
    done(result);
}
