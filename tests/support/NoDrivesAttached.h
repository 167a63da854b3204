#pragma once

// Only for tests that link the engine.
#include "ExternalVolumes.h"

#include <QStringList>

// No removable drive is attached, whatever this computer has mounted: a test never looks at,
// nor gives an identity to, a real drive or another test's card.
struct NoDrivesAttached {
    NoDrivesAttached() { ExternalVolumes::setOverride(std::nullopt, QStringList {}); }
    ~NoDrivesAttached() { ExternalVolumes::setOverride(std::nullopt, std::nullopt); }
    NoDrivesAttached(const NoDrivesAttached&) = delete;
    NoDrivesAttached& operator=(const NoDrivesAttached&) = delete;
};
