#pragma once

#include <QString>

// A row of the cloud file picker reports its checkbox to the picker.
class CloudCellDelegate {
public:
    virtual ~CloudCellDelegate() = default;
    // state: 1 ticked, 0 not ticked.
    virtual void cloudItemCheckChanged(int state, const QString& id, const QString& path) = 0;
};
