#pragma once

#include "CloudPageGuard.h"
#include "CloudRateLimit.h"

// Waits and bounds of the OneDrive client; tests shrink them.
struct OneDriveDelays {
    int secondMs = 1000;            // length of one "expires_in" second of the token reply
    int itemRetryMs = 10 * 1000;    // wait after a refresh before an item is asked for again
    int itemRetries = 3;            // refresh-and-retry rounds of one item fetch
    CloudRateLimit rateLimit;       // a listing page the service answers with a rate limit
    int maxListingPages = CloudPageGuard::DefaultMaxPages;
    int transferTimeoutMs = 60 * 1000;
};
