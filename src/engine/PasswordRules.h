#pragma once

#include <QString>

// The password rules of task and file encryption: letters A-Z, a-z and digits only,
// 4 to 16 characters, typed twice. One implementation for every dialog that asks.
class PasswordRules {
public:
    enum class Verdict { Empty, BadCharacters, TooShort, TooLong, Mismatch, Ok };

    static bool hasOnlyAllowedCharacters(const QString& text);
    static bool hasAllowedLength(const QString& text);
    static bool isValid(const QString& text) { return hasOnlyAllowedCharacters(text) && hasAllowedLength(text); }
    // The first rule the pair breaks, in the order the dialogs check them.
    static Verdict check(const QString& password, const QString& confirmation);

    // The hint the dialogs show while the user types; empty when there is nothing to say.
    static QString liveHint(const QString& password, const QString& confirmation);

    // Stored as a task's password when it has none: 12 characters the rules never accept.
    static QString noPasswordMarker();
};
