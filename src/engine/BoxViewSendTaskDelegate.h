#pragma once

#include "TaskInfo.h"

#include <QString>

// The task editor's answer to the page that opened it: the task and "Add", "AddDo", "Modify" or "ModifyDo".
class BoxViewSendTaskDelegate {
public:
    virtual ~BoxViewSendTaskDelegate() = default;
    virtual void sendTask(const TaskInfoPtr& task, const QString& action) = 0;
};
