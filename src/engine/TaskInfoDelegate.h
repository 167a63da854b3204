#pragma once

#include <memory>

class TaskInfo;

// Told on the GUI thread when a task's schedule falls due.
class TaskInfoDelegate {
public:
    virtual ~TaskInfoDelegate() = default;
    virtual void startScheduledTask(const std::shared_ptr<TaskInfo>& task) = 0;
};
