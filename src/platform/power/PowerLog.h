#pragma once

#include <QLoggingCategory>

// Diagnostics of the display-sleep inhibitor.
Q_DECLARE_LOGGING_CATEGORY(lcPower)
