#include "CloudDownloadRun.h"

#include "CloudDownloadOutcome.h"
#include "CloudFileDownload.h"
#include "CloudFolderLister.h"
#include "CloudLocalPath.h"
#include "CloudRunLog.h"
#include "DropboxWorker.h"
#include "GoogleDriveWorker.h"
#include "OneDriveWorker.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <algorithm>
#include <filesystem>
#include <limits>

namespace {

constexpr qint64 kMaxBytes = std::numeric_limits<qint64>::max();

qint64 addSaturated(qint64 a, quint64 b)
{
    if (a < 0)
        a = 0;
    return b > quint64(kMaxBytes - a) ? kMaxBytes : a + qint64(b);
}

QString serviceName(CloudLoginService service)
{
    switch (service) {
    case CloudLoginService::dropbox: return QStringLiteral("dropbox");
    case CloudLoginService::googleDrive: return QStringLiteral("googleDrive");
    case CloudLoginService::onedrive: return QStringLiteral("onedrive");
    case CloudLoginService::none: break;
    }
    return QStringLiteral("none");
}

// "name (n).ext" beside the path; a name without an extension (or a hidden one) gets " (n)".
QString numbered(const QString& path, int n)
{
    const QString parent = CloudLocalPath::parentOf(path);
    const QString name = path.mid(parent.size() + (parent.endsWith(QLatin1Char('/')) ? 0 : 1));
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString tag = QStringLiteral(" (%1)").arg(n);
    const QString renamed = dot > 0 ? name.left(dot) + tag + name.mid(dot) : name + tag;
    return parent.endsWith(QLatin1Char('/')) ? parent + renamed : parent + QLatin1Char('/') + renamed;
}

QString itemKey(const CloudItemPtr& item, const QString& source)
{
    return item->id.isEmpty() ? QStringLiteral("path:") + source : QStringLiteral("id:") + item->id;
}

} // namespace

CloudDownloadRun::CloudDownloadRun(QObject* parent)
    : QObject(parent)
{
    retryTimer_.setSingleShot(true);
}

CloudDownloadRun::~CloudDownloadRun()
{
    cancelOpenRequest();
}

void CloudDownloadRun::setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive)
{
    dropbox_ = dropbox;
    google_ = google;
    onedrive_ = onedrive;
}

void CloudDownloadRun::setNetworkAccessManager(QNetworkAccessManager* manager)
{
    nam_ = manager;
}

QString CloudDownloadRun::serviceTitle(std::optional<CloudLoginService> service)
{
    switch (service.value_or(CloudLoginService::none)) {
    case CloudLoginService::dropbox: return QStringLiteral("Dropbox");
    case CloudLoginService::googleDrive: return QStringLiteral("Google Drive");
    case CloudLoginService::onedrive: return QStringLiteral("OneDrive");
    case CloudLoginService::none: break;
    }
    return QString();
}

// ---------------------------------------------------------------- the run as a whole

void CloudDownloadRun::start(const QList<CloudItemPtr>& items, const QString& destination, CloudLoginService service)
{
    qCInfo(lcCloudRun).noquote() << "CloudProgress doCloudDownload " + serviceName(service);
    if (running_)
        cancelOpenRequest();

    // A file reached twice (a folder picked itself and inside another) is fetched once.
    QList<CloudItemPtr> unique;
    QSet<QString> seen;
    for (const CloudItemPtr& item : items) {
        if (!item)
            continue;
        const QString key = itemKey(item, service == CloudLoginService::googleDrive ? item->googleRoute : item->path);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        unique.append(item);
    }
    // Their listing no longer holds: a file that grew past it would only fail again.
    QSet<const CloudItemClass*> failed;
    for (const CloudItemPtr& item : std::as_const(failCloudItemArray_))
        failed.insert(item.get());
    failedBefore_.clear();
    if (service == currentService_) {
        for (const CloudItemPtr& item : std::as_const(unique))
            if (failed.contains(item.get()))
                failedBefore_.insert(item.get());
    }
    doDownloadData_ = unique;
    currentService_ = service;
    doDownloadUrl_ = destination;
    const QString claimsFor = serviceName(service) + QLatin1Char('|') + destination;
    if (claimsFor != claimsFor_) {
        claimedBy_.clear();
        localOf_.clear();
        claimsFor_ = claimsFor;
    }

    ++generation_;
    running_ = true;
    index_ = -1;
    failCloudItemArray_.clear();
    needDownloadTotalSize_ = 0;
    for (const CloudItemPtr& item : std::as_const(doDownloadData_))
        needDownloadTotalSize_ = addSaturated(needDownloadTotalSize_, item->size);
    nowDownloadedSize_ = 0;
    passFileCount_ = 0;
    failFileCount_ = 0;
    setReceived(0);

    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this, [this, generation] {
            if (generation == generation_)
                startItem(0);
        },
        Qt::QueuedConnection);
}

void CloudDownloadRun::stop(const QString& remark)
{
    if (!running_)
        return;
    cancelOpenRequest();
    markRemaining(int(passFileCount_ + failFileCount_), remark);
    finish();
}

void CloudDownloadRun::abort()
{
    cancelOpenRequest();
    running_ = false;
    releaseClaims();
}

void CloudDownloadRun::releaseClaims()
{
    claimedBy_.clear();
    localOf_.clear();
}

void CloudDownloadRun::finish()
{
    running_ = false;
    nowDownloadedSize_ = 0;
    needDownloadTotalSize_ = 0;
    Q_EMIT finished();
}

void CloudDownloadRun::markRemaining(int fromIndex, const QString& remark)
{
    for (int i = std::max(fromIndex, 0); i < doDownloadData_.size(); ++i)
        failCloudItemArray_.append(doDownloadData_.at(i));
    failFileCount_ = doDownloadData_.size() - passFileCount_;
    qCInfo(lcCloudRun).noquote() << "print failclouditemarray";
    for (const CloudItemPtr& item : std::as_const(failCloudItemArray_)) {
        if (item->downloadFailIssue.isEmpty())
            item->downloadFailIssue = remark;
        qCDebug(lcCloudRun).noquote() << item->name + QStringLiteral(" : ") + item->downloadFailIssue;
    }
}

void CloudDownloadRun::cancelOpenRequest()
{
    ++generation_;
    retryTimer_.stop();
    // Never committed: the temporary file goes, an older file stays.
    if (download_)
        download_->cancel();
    download_ = nullptr;
}

void CloudDownloadRun::setReceived(qint64 receivedOfCurrent)
{
    receivedOfCurrent = std::max<qint64>(receivedOfCurrent, 0);
    const qint64 received = addSaturated(nowDownloadedSize_, quint64(receivedOfCurrent));
    double percent = 0;
    if (needDownloadTotalSize_ > 0)
        percent = std::clamp(double(received) / double(needDownloadTotalSize_) * 100.0, 0.0, 100.0);
    Q_EMIT progressed(percent, receivedOfCurrent);
}

// ---------------------------------------------------------------- one file after another

QString CloudDownloadRun::sourceOf(const CloudItemPtr& item) const
{
    return currentService_ == CloudLoginService::googleDrive ? item->googleRoute : item->path;
}

std::optional<QString> CloudDownloadRun::localFileFor(const CloudItemPtr& item, QString* remark)
{
    if (doDownloadUrl_.isEmpty() || !QFileInfo(doDownloadUrl_).isDir()) {
        *remark = tr("Destination not exists");
        return std::nullopt;
    }
    // The name as it lands on disk: Google Drive routes carry a "/" of a name as ":".
    QString name = item->name;
    if (currentService_ == CloudLoginService::googleDrive)
        name.replace(QLatin1Char('/'), QLatin1Char(':'));
    const QString source = sourceOf(item);
    const std::optional<QString> resolved = CloudLocalPath::resolve(doDownloadUrl_, source);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/'))
        || name.contains(QChar(0)) || !resolved) {
        qCWarning(lcCloudRun).noquote() << "Refused a cloud name that would leave the destination:" << source;
        *remark = tr("The file name cannot be used on this computer");
        return std::nullopt;
    }

    const QString key = itemKey(item, source);
    if (const auto known = localOf_.constFind(key); known != localOf_.constEnd())
        return *known;
    QString local = *resolved;
    for (int n = 2; claimedBy_.contains(local); ++n)
        local = numbered(*resolved, n);
    claimedBy_.insert(local, key);
    localOf_.insert(key, local);
    return local;
}

void CloudDownloadRun::startItem(int index)
{
    if (!running_)
        return;
    if (index >= doDownloadData_.size()) {
        finish();
        return;
    }
    if (index != index_) {
        authRetries_ = 0;
        rateLimited_ = 0;
        oneDriveRefetches_ = 0;
        sizeAsked_ = false;
    }
    index_ = index;
    const CloudItemPtr item = doDownloadData_.at(index);
    // A remark from an earlier run no longer says why this attempt ends.
    item->downloadFailIssue.clear();
    Q_EMIT fileStarted(item);
    qCDebug(lcCloudRun).noquote() << "+++ Download :" + sourceOf(item) + " +++";
    if (failedBefore_.contains(item.get()) && !sizeAsked_)
        return askCurrentSize(index);

    if (!item->downloadable)
        return itemFailed(index, tr("This file cannot be downloaded: %1 does not hand out its content.")
                                     .arg(serviceTitle(currentService_)));
    QString remark;
    const std::optional<QString> local = localFileFor(item, &remark);
    if (!local)
        return itemFailed(index, remark);
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(CloudLocalPath::parentOf(*local)).toStdString(), error);
    if (error)
        return itemFailed(index, QString::fromStdString(error.message()));

    switch (currentService_.value_or(CloudLoginService::none)) {
    case CloudLoginService::dropbox:
        if (dropbox_)
            return downloadDropboxItem(index, *local);
        break;
    case CloudLoginService::googleDrive:
        if (google_)
            return downloadGoogleDriveItem(index, *local);
        break;
    case CloudLoginService::onedrive:
        if (onedrive_)
            return downloadOneDriveItem(index, *local);
        break;
    case CloudLoginService::none:
        break;
    }
    itemFailed(index, QStringLiteral("fail"));
}

void CloudDownloadRun::askCurrentSize(int index)
{
    const quint64 generation = generation_;
    const CloudItemPtr item = doDownloadData_.at(index);
    const auto take = [this, generation, index](const CloudItemPtr& current, bool refused) {
        if (generation == generation_ && running_)
            takeCurrentSize(index, current, refused);
    };
    switch (currentService_.value_or(CloudLoginService::none)) {
    case CloudLoginService::dropbox:
        if (!dropbox_)
            break;
        return dropbox_->getMetadata(item->path, [take](const std::optional<DropboxMetadata>& entry, bool refused) {
            take(entry && entry->isFile() ? CloudFolderLister::fromDropbox(*entry) : nullptr, refused);
        });
    case CloudLoginService::googleDrive:
        if (!google_)
            break;
        return google_->getFile(item->id, take);
    case CloudLoginService::onedrive:
        if (!onedrive_)
            break;
        return onedrive_->getItem(item, [take](const CloudItemPtr& current) { take(current, false); });
    case CloudLoginService::none:
        break;
    }
    takeCurrentSize(index, nullptr, false);
}

void CloudDownloadRun::takeCurrentSize(int index, const CloudItemPtr& current, bool refused)
{
    const QString remark = tr("%1 did not say how large the file is now, so it was not downloaded again.")
                               .arg(serviceTitle(currentService_));
    if (!current) {
        if (refused)
            return renewSignIn(index, remark);
        if (currentSignInExpired())
            return endForExpiredSignIn(index);
        return itemFailed(index, remark);
    }
    const CloudItemPtr item = doDownloadData_.at(index);
    qCInfo(lcCloudRun).noquote() << "asked again for the size of" << sourceOf(item) << ":" << current->size
                                 << "bytes, listed with" << item->size;
    // The run's total follows, so the bar still ends at 100%.
    const qint64 listed = qint64(std::min<quint64>(item->size, quint64(needDownloadTotalSize_)));
    needDownloadTotalSize_ = addSaturated(needDownloadTotalSize_ - listed, current->size);
    item->size = current->size;
    if (!current->date.isEmpty())
        item->date = current->date;
    if (!current->downloadPath.isEmpty())
        item->downloadPath = current->downloadPath;
    item->downloadable = current->downloadable;
    sizeAsked_ = true;
    startItem(index);
}

void CloudDownloadRun::downloadDropboxItem(int index, const QString& localFile)
{
    const quint64 generation = generation_;
    const CloudItemPtr item = doDownloadData_.at(index);
    download_ = dropbox_->download(
        item->path, localFile, item->size,
        [this, generation](qint64 received) {
            if (generation == generation_)
                setReceived(received);
        },
        [this, generation, index](const CloudFileDownload::Result& result) {
            if (generation != generation_)
                return;
            download_ = nullptr;
            onFileFinished(index, CloudDownloadOutcome::of(CloudLoginService::dropbox, result,
                                                           doDownloadData_.at(index)->size, limits.rateLimit,
                                                           rateLimited_));
        });
}

void CloudDownloadRun::downloadGoogleDriveItem(int index, const QString& localFile)
{
    QNetworkReply* reply = google_->downloadRequest(doDownloadData_.at(index)->id);
    if (!reply) {
        qCInfo(lcCloudRun).noquote() << "+ error +  get download request fail";
        return itemFailed(index, QStringLiteral("fail"));
    }
    fetch(reply, localFile, index);
}

void CloudDownloadRun::downloadOneDriveItem(int index, const QString& localFile)
{
    const CloudItemPtr item = doDownloadData_.at(index);
    const QUrl url(item->downloadPath, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))) {
        if (oneDriveRefetches_ < limits.oneDriveRefetchLimit)
            return refetchOneDriveAddress(index, QStringLiteral("fail"));
        return itemFailed(index, QStringLiteral("fail"));
    }
    // The address is pre-authenticated: its query is a secret.
    qCDebug(lcCloudRun).noquote() << "prepare download : " + CloudFileDownload::addressForLog(url);
    QNetworkRequest request(url);
    request.setTransferTimeout(limits.transferTimeoutMs);
    if (!nam_)
        nam_ = new QNetworkAccessManager(this);
    fetch(nam_->get(request), localFile, index);
}

void CloudDownloadRun::fetch(QNetworkReply* reply, const QString& localFile, int index)
{
    const quint64 generation = generation_;
    const CloudLoginService service = currentService_.value_or(CloudLoginService::none);
    download_ = new CloudFileDownload(
        reply, localFile, doDownloadData_.at(index)->size,
        [this, generation](qint64 received) {
            if (generation == generation_)
                setReceived(received);
        },
        [this, generation, index, service](const CloudFileDownload::Result& result) {
            if (generation != generation_)
                return;
            download_ = nullptr;
            onFileFinished(index, CloudDownloadOutcome::of(service, result, doDownloadData_.at(index)->size,
                                                           limits.rateLimit, rateLimited_));
        },
        this);
}

void CloudDownloadRun::onFileFinished(int index, const CloudDownloadOutcome& outcome)
{
    using Step = CloudDownloadOutcome::Step;
    switch (outcome.step) {
    case Step::saved:
        qCDebug(lcCloudRun).noquote() << "write to " + sourceOf(doDownloadData_.at(index));
        return itemSucceeded(index);
    case Step::askAgain:
        ++rateLimited_;
        qCInfo(lcCloudRun).noquote() << "too many requests; the file is asked for again in" << outcome.waitMs << "ms";
        return retryLater(index, outcome.waitMs);
    case Step::renewSignIn:
        return renewSignIn(index, outcome.remark);
    case Step::renewAddress:
        if (oneDriveRefetches_ < limits.oneDriveRefetchLimit)
            return refetchOneDriveAddress(index, outcome.remark);
        break;
    case Step::failed:
        break;
    }
    qCInfo(lcCloudRun).noquote() << "+ error +  " + outcome.remark;
    itemFailed(index, outcome.remark);
}

void CloudDownloadRun::renewSignIn(int index, const QString& remark)
{
    qCInfo(lcCloudRun).noquote() << "401 error";
    const bool google = currentService_ == CloudLoginService::googleDrive;
    if (google ? !google_ : !dropbox_)
        return itemFailed(index, remark);
    if (google)
        google_->refreshToken();
    else
        dropbox_->refreshToken();
    if (currentSignInExpired())
        return endForExpiredSignIn(index);
    if (authRetries_ >= limits.authRetryLimit)
        return itemFailed(index, remark);
    ++authRetries_;
    retryLater(index, limits.authRetryMs);
}

bool CloudDownloadRun::currentSignInExpired() const
{
    switch (currentService_.value_or(CloudLoginService::none)) {
    case CloudLoginService::dropbox:
        return dropbox_ && dropbox_->signInExpired();
    case CloudLoginService::googleDrive:
        return google_ && google_->signInExpired();
    case CloudLoginService::onedrive:
        return onedrive_ && onedrive_->signInExpired();
    case CloudLoginService::none:
        break;
    }
    return false;
}

void CloudDownloadRun::endForExpiredSignIn(int index)
{
    const QString service = serviceTitle(currentService_);
    qCWarning(lcCloudRun).noquote() << "the" << service << "sign-in has expired; the run ends";
    cancelOpenRequest();
    markRemaining(index, tr("Not downloaded: the %1 sign-in has expired.").arg(service));
    finish();
    Q_EMIT signInExpired(service);
}

void CloudDownloadRun::retryLater(int index, int delayMs)
{
    const quint64 generation = generation_;
    retryTimer_.disconnect(this);
    connect(&retryTimer_, &QTimer::timeout, this, [this, generation, index] {
        // Stop cancels this timer; the checks guard a timeout already queued.
        if (generation == generation_ && running_)
            startItem(index);
    });
    retryTimer_.start(std::max(delayMs, 0));
}

void CloudDownloadRun::refetchOneDriveAddress(int index, const QString& remark)
{
    if (!onedrive_)
        return itemFailed(index, remark);
    ++oneDriveRefetches_;
    const quint64 generation = generation_;
    const CloudItemPtr item = doDownloadData_.at(index);
    onedrive_->getItemInfo(item, [this, generation, index, item, remark](const QString& address) {
        if (generation != generation_ || !running_)
            return;
        if (address.isEmpty() && currentSignInExpired())
            return endForExpiredSignIn(index);
        if (address.isEmpty())
            return itemFailed(index, remark);
        item->downloadPath = address;
        startItem(index);
    });
}

void CloudDownloadRun::itemSucceeded(int index)
{
    ++passFileCount_;
    nowDownloadedSize_ = addSaturated(nowDownloadedSize_, doDownloadData_.at(index)->size);
    setReceived(0);
    next();
}

void CloudDownloadRun::itemFailed(int index, const QString& remark)
{
    const CloudItemPtr item = doDownloadData_.at(index);
    ++failFileCount_;
    item->downloadFailIssue = remark;
    failCloudItemArray_.append(item);
    qCInfo(lcCloudRun).noquote() << "Download failed:" << sourceOf(item) << "-" << remark;
    next();
}

void CloudDownloadRun::next()
{
    if (passFileCount_ + failFileCount_ >= doDownloadData_.size()) {
        finish();
        return;
    }
    Q_EMIT advanced();
    // From the event loop: a long run of files that fail at once must not nest calls.
    const quint64 generation = generation_;
    const int nextIndex = int(passFileCount_ + failFileCount_);
    QMetaObject::invokeMethod(
        this, [this, generation, nextIndex] {
            if (generation == generation_)
                startItem(nextIndex);
        },
        Qt::QueuedConnection);
}
