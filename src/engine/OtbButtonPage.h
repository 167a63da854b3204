#pragma once

#include "TaskTablePage.h"

#include <QString>

// The One-Touch Backup page as the main window's button polling reaches it.
class OtbButtonPage : public TaskTablePage {
public:
    // Once, after the main window has loaded the task list: restores a binding that was
    // armed when the application last ran (wizard on its last step, polling restarted).
    virtual void viewDidLoad() = 0;
    // A listed drive's button was pressed. False when the press only confirmed the wizard's
    // waiting step; the main window runs the bound task only on true.
    virtual bool otbButtonPressed() = 0;
    // Why the drives' buttons cannot be read (for example no permission on the USB device);
    // empty once they can.
    virtual void setOtbAccessProblem(const QString& text) = 0;
};
