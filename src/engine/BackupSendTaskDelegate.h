#pragma once

#include "TaskInfo.h"

#include <QString>

// What the Backup page asks of the main window.
class BackupSendTaskDelegate {
public:
    virtual ~BackupSendTaskDelegate() = default;
    // action: "Add", "AddDo", "Delete", "Modify", "ModifyDo", "Backup", "Update" (task may be null for "Update").
    virtual void runTask(const TaskInfoPtr& task, const QString& action, bool useProgress) = 0;
    virtual void disableOtb() = 0;
    virtual void updateTaskVolumePaths(bool refresh) = 0;
    // The task editor gave the drive at `root`, which showed no identity, this one.
    virtual void driveIdentityGiven(const QString& root, const QString& identity) = 0;
};
