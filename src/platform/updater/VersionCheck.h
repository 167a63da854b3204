#pragma once

#include "AppcastFile.h"

#include <QObject>
#include <QString>

class Updater;
class VersionRequest;

// The launch-time update check: ask the version service, store its feed as "appcast.xml",
// then point the updater at that file and check in the background. When the request fails
// or the feed cannot be stored, the updater is left as it was: it is never given a feed file
// that is missing or older than the answer.
class VersionCheck : public QObject {
    Q_OBJECT
public:
    VersionCheck(VersionRequest* request, Updater* updater, AppcastFile file = AppcastFile(),
                 QObject* parent = nullptr);

    void start();

Q_SIGNALS:
    // true: the updater got the fresh feed; false: `error` says why not.
    void finished(bool feedHandedOver, const QString& error);

private:
    void received(const QString& appcast);

    VersionRequest* request_;
    Updater* updater_;
    AppcastFile file_;
};
