#pragma once

// Time limits of the Dropbox client. A transfer that stalls for this long fails; a download
// that keeps receiving never times out.
struct DropboxDelays {
    int transferTimeoutMs = 60000;
};
