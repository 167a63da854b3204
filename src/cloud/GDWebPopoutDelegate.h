#pragma once

#include <QString>

// Receives the authorization code of a finished Google Drive sign-in.
class GDWebPopoutDelegate {
public:
    virtual ~GDWebPopoutDelegate() = default;
    virtual void getToken(const QString& code) = 0;
};
