#pragma once

#include "TaskInfo.h"

#include <QString>
#include <memory>

class ProgressReceiver;

// What the task runs need of the windows around them. The main window implements it; tests
// fake it. Every call comes on the GUI thread.
class TaskRunWindows {
public:
    virtual ~TaskRunWindows() = default;

    // Shows an application-modal progress window for one run and returns it. The run keeps
    // the pointer until its finishing step, so the window outlives every report the engine
    // sends it; the last owner to let go deletes it (on the GUI thread, whichever thread
    // that owner is on). `task` is the record the run works on: Cancel sets its flag.
    // May return null (no window could be made); the run then goes on without one.
    virtual std::shared_ptr<ProgressReceiver> presentProgressSheet(const TaskInfoPtr& task, const QString& title,
                                                                   const QString& imageName,
                                                                   const QString& status) = 0;
    // Closes the window of a run that has ended.
    virtual void dismissProgressSheet(const std::shared_ptr<ProgressReceiver>& sheet) = 0;
    // Shows a running run's window again when it is not showing.
    virtual void representProgressSheet(const std::shared_ptr<ProgressReceiver>& sheet) = 0;

    // A desktop notification.
    virtual void showUserNotification(const QString& title, const QString& subtitle) = 0;

    // Opens the password dialog of an encrypted restore. Its OK must reach
    // TaskController::restoreWithPassword; its closing (either way, after OK too) must reach
    // TaskController::restorePasswordPromptClosed.
    virtual void askRestorePassword(const TaskInfoPtr& task) = 0;

    // Restarts the one-touch-button polling at this interval.
    virtual void startOtbTimer(int intervalMs) = 0;

    // A usage event (category, action, label).
    virtual void reportEvent(const QString& category, const QString& action, const QString& label) = 0;
};
