#include "GoogleDriveLog.h"

Q_LOGGING_CATEGORY(lcGoogleDrive, "zorvi.cloud.googledrive", QtInfoMsg)
