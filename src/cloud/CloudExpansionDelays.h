#pragma once

// Pacing and patience of the folder expansion; tests shrink them to milliseconds.
struct CloudExpansionDelays {
    // Between the starts of two listings: Dropbox and Google Drive limit the rate of requests.
    int dropboxPaceMs = 300;
    int googlePaceMs = 300;
    int onedrivePaceMs = 0;
    // The walk gives up when no listing has answered for this long.
    int idleTimeoutMs = 5 * 60 * 1000;
};
