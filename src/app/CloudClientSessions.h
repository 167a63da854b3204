#pragma once

#include "CloudSessions.h"

class CloudClients;

// The application's cloud clients, as the application shell sets them up and signs them out
// at quit. The clients are owned by whoever made them and must outlive this.
class CloudClientSessions : public CloudSessions {
public:
    explicit CloudClientSessions(CloudClients& clients);

    void setUp() override;
    void unlinkDropbox() override;
    QUrl dropboxLogoutUrl() const override;
    void logoutGoogleDrive(Done done) override;
    void logoutOneDrive(Done done) override;

private:
    CloudClients& clients_;
};
