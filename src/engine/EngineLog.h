#pragma once

#include <QLoggingCategory>

// Diagnostics of the engine ("zorvi.engine"); debug lines (timer ticks) are off by default.
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
// The backup and restore runs ("zorvi.engine.runs").
Q_DECLARE_LOGGING_CATEGORY(lcRuns)
