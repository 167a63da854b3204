#include "PasswordRules.h"

#include <QCoreApplication>

bool PasswordRules::hasOnlyAllowedCharacters(const QString& text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9');
        if (!ok)
            return false;
    }
    return true;
}

bool PasswordRules::hasAllowedLength(const QString& text)
{
    return text.size() >= 4 && text.size() <= 16;
}

PasswordRules::Verdict PasswordRules::check(const QString& password, const QString& confirmation)
{
    if (password.isEmpty())
        return Verdict::Empty;
    if (!hasOnlyAllowedCharacters(password))
        return Verdict::BadCharacters;
    if (password.size() < 4)
        return Verdict::TooShort;
    if (password.size() > 16)
        return Verdict::TooLong;
    if (password != confirmation)
        return Verdict::Mismatch;
    return Verdict::Ok;
}

QString PasswordRules::liveHint(const QString& password, const QString& confirmation)
{
    if (!hasOnlyAllowedCharacters(password))
        return QCoreApplication::translate("PasswordRules", "A password supports up to 16 alphanumeric characters");
    if (!password.isEmpty() && !hasAllowedLength(password))
        return QCoreApplication::translate("PasswordRules", "The password must be between 4-16 characters.");
    if (confirmation.isEmpty())
        return {};
    return password == confirmation ? QCoreApplication::translate("PasswordRules", "Passwords match.")
                                    : QCoreApplication::translate("PasswordRules", "Passwords do not match.");
}

QString PasswordRules::noPasswordMarker()
{
    return QStringLiteral("#no~pass*wd#");
}
