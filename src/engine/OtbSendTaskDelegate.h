#pragma once

#include "TaskInfo.h"

#include <QString>

// What the One-Touch Backup page asks of the main window.
class OtbSendTaskDelegate {
public:
    virtual ~OtbSendTaskDelegate() = default;
    // "OtbChange" (bind the task of that name), "Update", "DisableAll", "StartOTB"; other words do nothing.
    virtual void otbAction(const TaskInfoPtr& task, const QString& action) = 0;
    virtual void runTask(const TaskInfoPtr& task, const QString& action, bool useProgress) = 0;
    // The task editor gave the drive at `root`, which showed no identity, this one.
    virtual void driveIdentityGiven(const QString& root, const QString& identity) = 0;
};
