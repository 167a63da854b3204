#include "NotificationLog.h"

Q_LOGGING_CATEGORY(lcNotifications, "zorvi.notifications", QtInfoMsg)
