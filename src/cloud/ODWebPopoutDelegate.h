#pragma once

#include <QString>

// Receives the authorization code of a finished OneDrive sign-in.
class ODWebPopoutDelegate {
public:
    virtual ~ODWebPopoutDelegate() = default;
    virtual void getToken(const QString& code) = 0;
};
