#pragma once

#include "CloudSessions.h"

// Stands in until the cloud clients exist: nothing to set up, nobody signed in.
class NullCloudSessions : public CloudSessions {
public:
    void setUp() override {}
    void unlinkDropbox() override {}
    QUrl dropboxLogoutUrl() const override { return {}; }
    void logoutGoogleDrive(Done done) override
    {
        if (done)
            done(true);
    }
    void logoutOneDrive(Done done) override
    {
        if (done)
            done(true);
    }
};
