#pragma once

#include <QLoggingCategory>

// Diagnostics of the Google Drive client and its sign-in. Listing dumps are debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcGoogleDrive)
