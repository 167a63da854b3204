#pragma once

#include <QLoggingCategory>

// Diagnostics of the Dropbox client ("zorvi.cloud.dropbox"). Never tokens, codes or verifiers.
Q_DECLARE_LOGGING_CATEGORY(lcDropbox)
