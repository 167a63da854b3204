#include "OtbPageLog.h"

Q_LOGGING_CATEGORY(lcOtbPage, "zorvi.otb.page", QtWarningMsg)
