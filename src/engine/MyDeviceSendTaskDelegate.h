#pragma once

// What the My Device page asks of the main window after it rebuilt its drive list.
class MyDeviceSendTaskDelegate {
public:
    virtual ~MyDeviceSendTaskDelegate() = default;
    virtual void setTabsEnabled(bool enabled) = 0;
    virtual void selectMyDeviceTab() = 0;
};
