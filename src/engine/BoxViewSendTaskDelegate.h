#pragma once

#include "TaskInfo.h"

#include <QString>

// The task editor's answer to the page that opened it: the task and "Add", "AddDo", "Modify" or "ModifyDo".
class BoxViewSendTaskDelegate {
public:
    virtual ~BoxViewSendTaskDelegate() = default;
    virtual void sendTask(const TaskInfoPtr& task, const QString& action) = 0;
    // A folder chosen in the editor gave the drive mounted at `root`, which showed no identity,
    // the identity `identity` (written to the drive already).
    virtual void driveIdentityGiven(const QString& root, const QString& identity) = 0;
};
