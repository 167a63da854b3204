#pragma once

// Waits of the Google Drive client; tests shrink them to milliseconds.
struct GoogleDriveDelays {
    int secondMs = 1000;             // length of one "expires_in" second of the token answer
    int rateLimitBackoffMs = 1000;   // first wait after a rate-limited listing; doubled each time
    int rateLimitTries = 4;          // requests of one rate-limited listing, the first included
    int transferTimeoutMs = 60 * 1000;
};
