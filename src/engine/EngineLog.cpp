#include "EngineLog.h"

Q_LOGGING_CATEGORY(lcEngine, "zorvi.engine", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRuns, "zorvi.engine.runs")
