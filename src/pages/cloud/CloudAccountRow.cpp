#include "CloudAccountRow.h"

#include "AccountPictureLoader.h"
#include "ControlStyle.h"
#include "ZorviImages.h"
#include "customizeButton.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CloudAccountRow::CloudAccountRow(const QString& serviceName, const QString& logo, bool separateSignOut,
                                 QWidget* parent)
    : QWidget(parent)
{
    QString id = serviceName;
    id.remove(QLatin1Char(' '));
    setObjectName(id + QStringLiteral("Row"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#%1 { background: white; border: 1px solid rgb(199, 199, 204); border-radius: 6px; }")
                      .arg(objectName()));
    setFixedHeight(72);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(14);
    auto* logoView = new QLabel(this);
    logoView->setPixmap(ZorviImages::pixmap(logo, QSize(70, 45)));
    logoView->setFixedSize(70, 45);
    picture_ = new QLabel(this);
    picture_->setFixedSize(AccountPictureLoader::pictureSize, AccountPictureLoader::pictureSize);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    auto* name = ControlStyle::textLabel(this, 16, true, ControlStyle::darkText());
    name->setText(serviceName);
    email_ = ControlStyle::textLabel(this, 13, false, ControlStyle::greyText());
    names->addStretch(1);
    names->addWidget(name);
    names->addWidget(email_);
    names->addStretch(1);
    open_ = new customizeButton(tr("Open"), this);
    open_->setObjectName(QStringLiteral("openButton"));
    open_->setMinimumSize(96, 32);
    sign_ = new customizeButton(tr("Sign In"), this);
    sign_->setObjectName(QStringLiteral("signButton"));
    sign_->setMinimumSize(96, 32);
    layout->addWidget(logoView);
    layout->addWidget(picture_);
    layout->addLayout(names, 1);
    layout->addWidget(open_);
    layout->addWidget(sign_);
    if (separateSignOut) {
        signOut_ = new customizeButton(tr("Sign Out"), this);
        signOut_->setObjectName(QStringLiteral("signOutButton"));
        signOut_->setMinimumSize(96, 32);
        layout->addWidget(signOut_);
        connect(signOut_, &QPushButton::clicked, this, &CloudAccountRow::signOutClicked);
    }
    connect(open_, &QPushButton::clicked, this, &CloudAccountRow::openClicked);
    connect(sign_, &QPushButton::clicked, this, [this] {
        if (sign_->text() == tr("Sign In"))
            Q_EMIT signInClicked();
        else
            Q_EMIT signOutClicked();
    });
}

void CloudAccountRow::setSignedIn(bool signedIn)
{
    sign_->setText(signedIn ? tr("Sign Out") : tr("Sign In"));
    // A button the row changed under a resting pointer shows its normal look again.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(sign_, &leave);
    sign_->setVisible(!signedIn || !signOut_);
    open_->setVisible(signedIn);
    email_->setVisible(signedIn);
}

void CloudAccountRow::setEmail(const QString& email)
{
    email_->setText(email);
}

void CloudAccountRow::setSignOutVisible(bool visible)
{
    if (signOut_)
        signOut_->setVisible(visible);
}

CloudAccountRow::Shown CloudAccountRow::shown() const
{
    Shown s;
    s.signTitle = sign_->text();
    s.signShown = sign_->isVisibleTo(this);
    s.openShown = open_->isVisibleTo(this);
    s.signOutShown = signOut_ && signOut_->isVisibleTo(this);
    s.email = email_->isVisibleTo(this) ? email_->text() : QString();
    return s;
}
