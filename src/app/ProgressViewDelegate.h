#pragma once

class QSettings;

// What the progress window needs of the main window.
class ProgressViewDelegate {
public:
    virtual ~ProgressViewDelegate() = default;
    // The user defaults store ("IsRunningOTB" is read from it).
    virtual QSettings* defaults() = 0;
    // Restarts the one-touch-button polling at this interval.
    virtual void startOtbTimer(int intervalMs) = 0;
    // Removes the partial output of the run being cancelled.
    virtual void removePartialArchive() = 0;
};
