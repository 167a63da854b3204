#include "DropboxLog.h"

Q_LOGGING_CATEGORY(lcDropbox, "zorvi.cloud.dropbox", QtInfoMsg)
