#pragma once

#include "CloudFileDownload.h"
#include "CloudLoginService.h"

#include <QString>

struct CloudRateLimit;

// What the download run does next with a file whose transfer has ended, by service: keep it,
// give it up with a remark, ask again after a pause, renew the sign-in, or (OneDrive) fetch
// a fresh download address.
struct CloudDownloadOutcome {
    enum class Step { saved, failed, askAgain, renewSignIn, renewAddress };

    Step step = Step::failed;
    QString remark;  // failed, renewSignIn and renewAddress: why, should the file be given up
    int waitMs = 0;  // askAgain

    // `limited`: how often this file has been answered "too many requests" so far.
    static CloudDownloadOutcome of(CloudLoginService service, const CloudFileDownload::Result& result,
                                   quint64 listedSize, const CloudRateLimit& rateLimit, int limited);
};
