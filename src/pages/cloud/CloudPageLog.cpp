#include "CloudPageLog.h"

Q_LOGGING_CATEGORY(lcCloudPage, "zorvi.cloud.page", QtInfoMsg)
