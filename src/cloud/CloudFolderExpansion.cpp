#include "CloudFolderExpansion.h"

#include "CloudPickPaths.h"
#include "CloudPickerLog.h"

#include <QPointer>

CloudFolderExpansion::CloudFolderExpansion(CloudLoginService service, const CloudFolderLister& lister,
                                           const CloudExpansionDelays& delays, QObject* parent)
    : QObject(parent)
    , service_(service)
    , lister_(lister)
    , delays_(delays)
{
    pace_.setSingleShot(true);
    idle_.setSingleShot(true);
    idle_.setInterval(delays_.idleTimeoutMs);
    connect(&pace_, &QTimer::timeout, this, &CloudFolderExpansion::startNext);
    connect(&idle_, &QTimer::timeout, this, &CloudFolderExpansion::giveUp);
}

int CloudFolderExpansion::paceMs() const
{
    switch (service_) {
    case CloudLoginService::dropbox:
        return delays_.dropboxPaceMs;
    case CloudLoginService::googleDrive:
        return delays_.googlePaceMs;
    case CloudLoginService::onedrive:
        return delays_.onedrivePaceMs;
    case CloudLoginService::none:
        break;
    }
    return 0;
}

QList<CloudItemPtr> CloudFolderExpansion::uniquePicks(const QList<CloudItemPtr>& picked, CloudLoginService service)
{
    QList<CloudItemPtr> out;
    QSet<QString> keys;
    for (const CloudItemPtr& item : picked) {
        if (!item)
            continue;
        const QString key = CloudPickPaths::identityKey(*item, service);
        if (keys.contains(key))
            continue;
        keys.insert(key);
        out.append(item);
    }
    return out;
}

void CloudFolderExpansion::start(const QList<CloudItemPtr>& picked)
{
    cancel();
    running_ = true;
    result_.selected = uniquePicks(picked, service_);
    // A picked entry that also lies inside a picked folder stays a pick and is not found again.
    for (const CloudItemPtr& item : std::as_const(result_.selected))
        seen_.insert(CloudPickPaths::identityKey(*item, service_));
    for (const CloudItemPtr& item : std::as_const(result_.selected))
        if (item->isFolder())
            enqueue(item);
    idle_.start();
    if (counter_ == 0) {
        const quint64 walk = walk_;
        QTimer::singleShot(0, this, [this, walk] {
            if (walk == walk_ && running_)
                finish();
        });
    }
}

void CloudFolderExpansion::cancel()
{
    ++walk_;
    running_ = false;
    pace_.stop();
    idle_.stop();
    counter_ = 0;
    waiting_.clear();
    listing_.clear();
    seen_.clear();
    result_ = Result();
}

void CloudFolderExpansion::enqueue(const CloudItemPtr& folder)
{
    ++counter_;
    waiting_.append(folder);
    if (pace_.isActive())
        return;
    const qint64 since = sinceStart_.isValid() ? sinceStart_.elapsed() : qint64(paceMs());
    pace_.start(int(std::max<qint64>(0, paceMs() - since)));
}

void CloudFolderExpansion::startNext()
{
    if (waiting_.isEmpty())
        return;
    const CloudItemPtr folder = waiting_.takeFirst();
    listing_.append(folder);
    sinceStart_.restart();
    qCDebug(lcCloudPicker).noquote() << "expand:" << CloudPickPaths::locationOf(*folder, service_);
    const quint64 walk = walk_;
    QPointer<CloudFolderExpansion> self(this);
    lister_.list(service_, folder->path, folder->id, folder->googleRoute,
                 [self, walk, folder](const QList<CloudItemPtr>& items, bool ok) {
                     if (self)
                         self->take(walk, folder, items, ok);
                 });
    if (!waiting_.isEmpty())
        pace_.start(paceMs());
}

void CloudFolderExpansion::take(quint64 walk, const CloudItemPtr& folder, const QList<CloudItemPtr>& items, bool ok)
{
    if (walk != walk_ || !running_)
        return;
    listing_.removeOne(folder);
    idle_.start();
    if (!ok) {
        qCWarning(lcCloudPicker).noquote() << "expand: listing incomplete:" << CloudPickPaths::locationOf(*folder, service_);
        result_.incompleteFolders.append(CloudPickPaths::locationOf(*folder, service_));
    }
    for (const CloudItemPtr& item : items) {
        if (!item)
            continue;
        const QString key = CloudPickPaths::identityKey(*item, service_);
        if (seen_.contains(key))
            continue;
        seen_.insert(key);
        result_.found.append(item);
        qCDebug(lcCloudPicker).noquote() << (item->isFolder() ? "(subItem-folder)" : "(subItem-file)") << item->name;
        if (item->isFolder())
            enqueue(item);
    }
    // After this answer's own increments, so the count reaches 0 only with the last answer.
    if (--counter_ == 0)
        finish();
}

void CloudFolderExpansion::giveUp()
{
    if (!running_)
        return;
    qCWarning(lcCloudPicker).noquote() << "expand: no answer, giving up on" << counter_ << "listings";
    for (const CloudItemPtr& folder : std::as_const(listing_) + std::as_const(waiting_))
        result_.incompleteFolders.append(CloudPickPaths::locationOf(*folder, service_));
    result_.timedOut = true;
    finish();
}

void CloudFolderExpansion::finish()
{
    const Result result = result_;
    cancel();
    Q_EMIT finished(result);
}
