#include "CloudRunLog.h"

Q_LOGGING_CATEGORY(lcCloudRun, "zorvi.cloud.run", QtInfoMsg)
