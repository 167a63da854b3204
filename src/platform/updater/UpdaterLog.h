#pragma once

#include <QLoggingCategory>

// Diagnostics of the update check: the version request, the feed file and the updater events.
Q_DECLARE_LOGGING_CATEGORY(lcUpdater)
