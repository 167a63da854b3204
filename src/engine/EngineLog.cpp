#include "EngineLog.h"

Q_LOGGING_CATEGORY(lcEngine, "zorvi.engine", QtInfoMsg)
