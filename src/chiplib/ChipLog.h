#pragma once

#include <QLoggingCategory>

// "zorvi.chiplib": failures show by default, progress lines only when enabled.
Q_DECLARE_LOGGING_CATEGORY(lcChiplib)
