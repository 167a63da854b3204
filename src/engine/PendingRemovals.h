#pragma once

#include <QString>

#include <functional>

// Removals of work folders that a run hands to the background once it has reported (deleting
// a large tree of replaced files can take as long as the run). They belong to the run's task:
// the next run of that task finishes them before it cleans or reads anything, here if they
// have not started yet, else by waiting for them. One cut short by quitting is left to the
// next run's clean-up.
class PendingRemovals {
public:
    // `task` names the task (its folder on the drive).
    static void hand(const QString& task, std::function<void()> removal);
    static void settle(const QString& task);
};
