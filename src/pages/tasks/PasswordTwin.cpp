#include "PasswordTwin.h"

#include "ZorviImages.h"

#include <QAbstractButton>
#include <QLineEdit>

void PasswordTwin::setEyeImage(QAbstractButton* eye, const QString& imageName)
{
    if (!eye)
        return;
    eye->setIcon(ZorviImages::icon(imageName));
    eye->setProperty("imageName", imageName);
}

void PasswordTwin::reset(QLineEdit* masked, QLineEdit* plain, QAbstractButton* eye)
{
    masked->setEchoMode(QLineEdit::Password);
    plain->setEchoMode(QLineEdit::Normal);
    masked->setHidden(false);
    plain->setHidden(true);
    setEyeImage(eye, QStringLiteral("ic_password_on"));
}

void PasswordTwin::toggle(QLineEdit* masked, QLineEdit* plain, QAbstractButton* eye)
{
    if (masked->isHidden()) {
        masked->setText(plain->text());
        masked->setHidden(false);
        plain->setHidden(true);
        setEyeImage(eye, QStringLiteral("ic_password_on"));
        masked->setFocus();
    } else {
        plain->setText(masked->text());
        plain->setHidden(false);
        masked->setHidden(true);
        setEyeImage(eye, QStringLiteral("ic_password_off"));
        plain->setFocus();
    }
}

QString PasswordTwin::visibleText(const QLineEdit* masked, const QLineEdit* plain)
{
    return plain->isHidden() ? masked->text() : plain->text();
}
