#pragma once

#include "DropboxEndpoints.h"

#include <QString>

// The application's Dropbox registration and hosts, fixed when it is built.
class DropboxDefaults {
public:
    DropboxDefaults() = delete;
    static DropboxEndpoints endpoints();
    static QString appKey(); // empty: this build cannot sign in to Dropbox
};
