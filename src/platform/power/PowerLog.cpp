#include "PowerLog.h"

Q_LOGGING_CATEGORY(lcPower, "zorvi.power", QtInfoMsg)
