#pragma once

#include "CloudPageGuard.h"
#include "CloudRateLimit.h"

// Time limits and bounds of the Dropbox client; tests shrink them. A transfer that stalls for
// transferTimeoutMs fails; a download that keeps receiving never times out.
struct DropboxDelays {
    int transferTimeoutMs = 60000;
    int secondMs = 1000;            // length of one "expires_in" second of the token answer
    CloudRateLimit rateLimit;       // a listing page the service answers with a rate limit
    int maxListingPages = CloudPageGuard::DefaultMaxPages;
};
