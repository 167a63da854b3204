#include "SevenZipLog.h"

Q_LOGGING_CATEGORY(lcSevenZip, "zorvi.sevenzip", QtInfoMsg)
