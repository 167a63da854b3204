#include "VersionCheck.h"

#include "Updater.h"
#include "UpdaterLog.h"
#include "VersionRequest.h"

#include <QUrl>

VersionCheck::VersionCheck(VersionRequest* request, Updater* updater, AppcastFile file, QObject* parent)
    : QObject(parent)
    , request_(request)
    , updater_(updater)
    , file_(std::move(file))
{
    connect(request_, &VersionRequest::appcastReceived, this, &VersionCheck::received);
    connect(request_, &VersionRequest::failed, this, [this](const QString& error) { Q_EMIT finished(false, error); });
}

void VersionCheck::start()
{
    request_->send();
}

void VersionCheck::received(const QString& appcast)
{
    QString error;
    if (!file_.write(appcast, &error)) {
        qCWarning(lcUpdater).noquote() << error;
        Q_EMIT finished(false, error);
        return;
    }
    updater_->setFeedUrl(QUrl::fromLocalFile(file_.path()));
    updater_->checkForUpdatesInBackground();
    Q_EMIT finished(true, QString());
}
