#include "SizePoll.h"

#include <limits>

SizePoll::Tick SizePoll::tick(qint64 measuredBytes, qint64 totalBytes)
{
    Tick t;
    if (totalBytes <= 0) {
        // Nothing to measure against: any progress at all counts as complete.
        if (measuredBytes <= 0)
            return t;
        t.percentage = std::numeric_limits<float>::infinity();
    } else {
        t.percentage = float(measuredBytes) / float(totalBytes) * 100.0f;
    }
    // Compared before capping, so a copy that overshoots keeps reporting 100.
    if (lastReported_ < t.percentage) {
        if (t.percentage > 100.0f)
            t.percentage = 100.0f;
        t.report = true;
        lastReported_ = t.percentage;
    }
    return t;
}
