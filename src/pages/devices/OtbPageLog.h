#pragma once

#include <QLoggingCategory>

// Diagnostics of the One-Touch Backup page and its carousel; off unless enabled
// (QT_LOGGING_RULES="zorvi.otb.page.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcOtbPage)
