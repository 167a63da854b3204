#include "CloudPickerLog.h"

Q_LOGGING_CATEGORY(lcCloudPicker, "zorvi.cloud.picker", QtInfoMsg)
