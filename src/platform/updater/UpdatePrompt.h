#pragma once

#include "AppcastItem.h"

#include <QString>
#include <functional>

// What the updater asks of the GUI. The GUI shows its own windows and answers through
// `reply` (once, possibly later); tests implement it with a fake.
class UpdatePrompt {
public:
    enum class Choice {
        Download,        // open the download page
        SkipThisVersion, // background checks stay quiet about this version
        Later,           // nothing now
    };

    virtual ~UpdatePrompt() = default;

    virtual void showUpdateFound(const AppcastItem& item, const QString& currentVersion,
                                 std::function<void(Choice)> reply) = 0;
    // Only for checks the user asked for.
    virtual void showUpToDate(const QString& currentVersion) = 0;
    virtual void showCheckFailed(const QString& reason) = 0;
};
