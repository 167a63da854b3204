#pragma once

// Waits of the OneDrive client; tests shrink them to milliseconds.
struct OneDriveDelays {
    int secondMs = 1000;            // length of one "expires_in" second of the token reply
    int itemRetryMs = 10 * 1000;    // wait after a refresh before an item is asked for again
    int itemRetries = 3;            // refresh-and-retry rounds of one item fetch
    int transferTimeoutMs = 60 * 1000;
};
