#pragma once

#include "CloudItemClass.h"

#include <QList>

// The cloud file picker's answer once Done has expanded the picked folders.
class cloudDownloadListDelegate {
public:
    virtual ~cloudDownloadListDelegate() = default;
    // `selected`: the whole selection (files and folders); `expanded`: the files and folders
    // found inside the picked folders.
    virtual void receiveCloudSelection(const QList<CloudItemPtr>& selected, const QList<CloudItemPtr>& expanded) = 0;
};
