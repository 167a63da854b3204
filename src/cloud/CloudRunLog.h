#pragma once

#include <QLoggingCategory>

// Diagnostics of the cloud download run and its failed-download list.
Q_DECLARE_LOGGING_CATEGORY(lcCloudRun)
