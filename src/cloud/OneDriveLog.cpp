#include "OneDriveLog.h"

Q_LOGGING_CATEGORY(lcOneDrive, "zorvi.cloud.onedrive", QtInfoMsg)
