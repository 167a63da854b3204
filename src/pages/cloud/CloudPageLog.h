#pragma once

#include <QLoggingCategory>

// Diagnostics of the Cloud Backup page ("zorvi.cloud.page").
Q_DECLARE_LOGGING_CATEGORY(lcCloudPage)
