#pragma once

#include "CloudItemClass.h"
#include "CloudLoginService.h"

#include <QList>
#include <QString>

// What the Cloud Backup page asks of the main window: show the run screen and start a run.
class cloudDelegate {
public:
    virtual ~cloudDelegate() = default;
    // `destination` is a local folder; empty means none was chosen.
    virtual void startCloudDownload(const QList<CloudItemPtr>& items, const QString& destination,
                                    CloudLoginService service) = 0;
};
