#include "SignInWaitDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

SignInWaitDialog::SignInWaitDialog(const QString& service, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("SignInWaitDialog"));
    setWindowTitle(tr("Sign in to %1").arg(service));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);

    text_ = new QLabel(tr("Waiting for your browser…\n\nSign in to %1 in the browser window that has "
                          "opened, then return to Zorvi.")
                           .arg(service),
                       this);
    text_->setWordWrap(true);
    text_->setMinimumWidth(360);

    address_ = new QLabel(this);
    address_->setWordWrap(true);
    address_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    address_->hide();

    auto* buttons = new QDialogButtonBox(this);
    button_ = buttons->addButton(QDialogButtonBox::Cancel);
    connect(button_, &QPushButton::clicked, this, &SignInWaitDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 16);
    layout->setSpacing(16);
    layout->addWidget(text_);
    layout->addWidget(address_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString SignInWaitDialog::message() const
{
    return text_->text();
}

void SignInWaitDialog::setMessage(const QString& text)
{
    text_->setText(text);
}

void SignInWaitDialog::showAddress(const QUrl& address)
{
    text_->setText(tr("Zorvi could not open your web browser. To sign in, open this address in a browser:"));
    address_->setText(address.toString(QUrl::FullyEncoded));
    address_->show();
}

void SignInWaitDialog::showProblem(const QString& text)
{
    waiting_ = false;
    text_->setText(text);
    address_->hide();
    button_->setText(tr("Close"));
}

void SignInWaitDialog::finish()
{
    waiting_ = false;
    done(Accepted);
}

void SignInWaitDialog::done(int result)
{
    // The sign-in may end it again while it is already closing after Cancel.
    if (closed_)
        return;
    closed_ = true;
    QDialog::done(result);
}

void SignInWaitDialog::reject()
{
    const bool wasWaiting = waiting_;
    waiting_ = false;
    QDialog::reject();
    if (wasWaiting)
        Q_EMIT cancelled();
}
