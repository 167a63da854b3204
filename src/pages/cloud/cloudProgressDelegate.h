#pragma once

// What the download run screen asks of the main window when the user presses Done.
class cloudProgressDelegate {
public:
    virtual ~cloudProgressDelegate() = default;
    virtual void showCloudPage() = 0;
    virtual void resetCloudPage() = 0;
};
