#pragma once

#include <QtGlobal>
#include <optional>

enum class CloudLoginService : quint8 {
    none = 0,
    dropbox = 1,
    googleDrive = 2,
    onedrive = 3,
};

inline std::optional<CloudLoginService> cloudLoginServiceFromRaw(int raw)
{
    if (raw < 0 || raw > 3)
        return std::nullopt;
    return CloudLoginService(raw);
}
