#pragma once

#include "CloudItemClass.h"
#include "CloudLoginService.h"

#include <QList>
#include <QString>
#include <optional>

// What the failed-download list asks of the run screen to fetch the ticked files again.
class CloudFailListDelegate {
public:
    virtual ~CloudFailListDelegate() = default;
    virtual void resetProgressView() = 0;
    // `destination` is a local folder; empty means none.
    virtual void doCloudDownload(const QList<CloudItemPtr>& items, const QString& destination,
                                 CloudLoginService service) = 0;
    // Destination and service of the run whose failures are listed.
    virtual QString doDownloadUrl() const = 0;
    virtual std::optional<CloudLoginService> currentService() const = 0;
};
