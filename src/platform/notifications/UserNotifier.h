#pragma once

#include <QString>

// Shows a desktop notification; the engine and GUI post through this, tests fake it.
class UserNotifier {
public:
    virtual ~UserNotifier() = default;
    virtual void post(const QString& title, const QString& body) = 0;
};
