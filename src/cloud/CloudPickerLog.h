#pragma once

#include <QLoggingCategory>

// Diagnostics of the cloud file picker and its folder expansion ("zorvi.cloud.picker"); the
// per-entry lines are debug output.
Q_DECLARE_LOGGING_CATEGORY(lcCloudPicker)
