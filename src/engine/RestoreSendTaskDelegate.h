#pragma once

#include "TaskInfo.h"

#include <QString>

// What the Restore page asks of the main window: "Update" (no task) or "Restore".
class RestoreSendTaskDelegate {
public:
    virtual ~RestoreSendTaskDelegate() = default;
    virtual void restoreTask(const TaskInfoPtr& task, const QString& action) = 0;
};
