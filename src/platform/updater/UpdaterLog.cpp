#include "UpdaterLog.h"

Q_LOGGING_CATEGORY(lcUpdater, "zorvi.updater", QtInfoMsg)
