#pragma once

#include "CloudSessions.h"

// The cloud clients' shared instances, as the application shell sets them up and signs
// them out at quit.
class CloudClientSessions : public CloudSessions {
public:
    void setUp() override;
    void unlinkDropbox() override;
    QUrl dropboxLogoutUrl() const override;
    void logoutGoogleDrive(Done done) override;
    void logoutOneDrive(Done done) override;
};
