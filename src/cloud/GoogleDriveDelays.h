#pragma once

#include "CloudPageGuard.h"
#include "CloudRateLimit.h"

// Waits and bounds of the Google Drive client; tests shrink them.
struct GoogleDriveDelays {
    int secondMs = 1000;             // length of one "expires_in" second of the token answer
    CloudRateLimit rateLimit;        // a listing page the service answers with a rate limit
    int maxListingPages = CloudPageGuard::DefaultMaxPages;
    int transferTimeoutMs = 60 * 1000;
};
