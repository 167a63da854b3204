#pragma once

#include <QtGlobal>

// The reporting rule of one copy-progress poll: a tick reports only when its percentage
// rises above the last one reported, and what it reports is capped at 100.
class SizePoll {
public:
    struct Tick {
        float percentage = 0.0f; // what the task stores (capped when reported)
        bool report = false;     // whether the receiver is told
    };

    Tick tick(qint64 measuredBytes, qint64 totalBytes);
    float lastReported() const { return lastReported_; }

private:
    float lastReported_ = 0.0f;
};
