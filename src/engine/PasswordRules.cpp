#include "PasswordRules.h"

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

QString PasswordRules::noPasswordMarker()
{
    return QStringLiteral("#no~pass*wd#");
}
