#pragma once

#include <QString>

#include <atomic>
#include <functional>

// Removals of work folders that a run hands to the background once it has reported (deleting
// a large tree of replaced files can take as long as the run). They belong to the run's task:
// the next run of that task waits for them before it cleans or reads anything. One cut short
// by quitting is left to the next run's clean-up.
class PendingRemovals {
public:
    // `task` names the task (its folder on the drive).
    static void hand(const QString& task, std::function<void()> removal);
    // Waits for the task's removals. `waiting` is told once when there is something to wait
    // for; a set `cancel` ends the wait (the removal goes on in the background): false then.
    static bool settle(const QString& task, const std::atomic<bool>& cancel, const std::function<void()>& waiting);
};
