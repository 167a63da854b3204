#pragma once

#include "CloudItemClass.h"
#include "CloudLoginService.h"
#include "CloudRateLimit.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <optional>

class CloudFileDownload;
struct CloudDownloadOutcome;
class DropboxWorker;
class GoogleDriveWorker;
class OneDriveWorker;
class QNetworkAccessManager;
class QNetworkReply;

// One download run of the Cloud tab: fetches a list of cloud files one at a time into a local
// folder through the service's client and keeps count of what passed, what failed and why.
// Each file is streamed to a temporary file beside its target and renamed over it only when
// complete, so a failure or stop leaves an older file as it was and nothing partial behind.
// Everything runs on the GUI thread from network completions.
class CloudDownloadRun : public QObject {
    Q_OBJECT
public:
    // Waits and bounds; tests shrink them.
    struct Limits {
        int authRetryMs = 10 * 1000;  // after an HTTP 401 and a renewal, before the same file is asked again
        int authRetryLimit = 3;       // such retries of one file
        int oneDriveRefetchLimit = 1; // fresh download addresses asked for one file
        CloudRateLimit rateLimit;     // a file answered "too many requests"
        int transferTimeoutMs = 60 * 1000;
    };

    explicit CloudDownloadRun(QObject* parent = nullptr);
    ~CloudDownloadRun() override;

    // The clients (not owned); a service without one fails its files.
    void setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive);
    // For OneDrive content (not owned); unset, the run makes its own.
    void setNetworkAccessManager(QNetworkAccessManager* manager);
    Limits limits;

    // Starts a run, dropping one still going; a file listed twice is fetched once. The first
    // file starts from the event loop. A file that failed in the run before is fetched with
    // the size the service gives for it now, not the one of its listing.
    void start(const QList<CloudItemPtr>& items, const QString& destination, CloudLoginService service);
    // Ends a run that is going: the file in progress and those after it fail with `remark`.
    void stop(const QString& remark);
    // Ends a run without counting anything more.
    void abort();
    // The run is done with: the local names it claimed may be taken by the next run again.
    void releaseClaims();

    bool isRunning() const { return running_; }
    // A file waits to be asked for again (after a refused token or a rate limit).
    bool isWaitingToRetry() const { return retryTimer_.isActive(); }
    const QList<CloudItemPtr>& files() const { return doDownloadData_; }
    QString destination() const { return doDownloadUrl_; }
    std::optional<CloudLoginService> service() const { return currentService_; }
    qint64 passFileCount() const { return passFileCount_; }
    qint64 failFileCount() const { return failFileCount_; }
    // The files that failed, in the order they failed, each with its remark.
    const QList<CloudItemPtr>& failCloudItemArray() const { return failCloudItemArray_; }
    // The percentage over all bytes of the run, 0 to 100.

    // "Dropbox", "Google Drive" or "OneDrive".
    static QString serviceTitle(std::optional<CloudLoginService> service);

Q_SIGNALS:
    void fileStarted(const CloudItemPtr& item);
    // Another file passed or failed; more are to come.
    void advanced();
    // The share of all bytes of the run that is in, 0 to 100; `receivedOfCurrentFile` bytes
    // of the file in progress.
    void progressed(double percent, qint64 receivedOfCurrentFile);
    // Every file passed or failed, or the run stopped: the counts are final.
    void finished();
    // The service's sign-in could not be renewed: the run has finished, what was left was not tried.
    void signInExpired(const QString& serviceTitle);

private:
    void startItem(int index);
    void askCurrentSize(int index);
    void takeCurrentSize(int index, const CloudItemPtr& current, bool refused);
    // The run's service holds a sign-in that can no longer be renewed.
    bool currentSignInExpired() const;
    void downloadDropboxItem(int index, const QString& localFile);
    void downloadGoogleDriveItem(int index, const QString& localFile);
    void downloadOneDriveItem(int index, const QString& localFile);
    void fetch(QNetworkReply* reply, const QString& localFile, int index);
    void onFileFinished(int index, const CloudDownloadOutcome& outcome);
    void retryLater(int index, int delayMs);
    void renewSignIn(int index, const QString& remark);
    void refetchOneDriveAddress(int index, const QString& remark);
    void endForExpiredSignIn(int index);
    void itemSucceeded(int index);
    void itemFailed(int index, const QString& remark);
    void next();
    void finish();
    void cancelOpenRequest();
    // Lists the files from `fromIndex` on as failed; those without a remark get `remark`.
    void markRemaining(int fromIndex, const QString& remark);
    void setReceived(qint64 receivedOfCurrent);
    // Where the item lands, or the remark why it cannot.
    std::optional<QString> localFileFor(const CloudItemPtr& item, QString* remark);
    QString sourceOf(const CloudItemPtr& item) const;

    bool running_ = false;
    QList<CloudItemPtr> doDownloadData_;
    QString doDownloadUrl_;
    std::optional<CloudLoginService> currentService_;
    QList<CloudItemPtr> failCloudItemArray_;
    qint64 passFileCount_ = 0;
    qint64 failFileCount_ = 0;
    qint64 needDownloadTotalSize_ = 0;
    qint64 nowDownloadedSize_ = 0;

    quint64 generation_ = 0; // bumped by every start and stop: older completions are dropped
    int index_ = -1;
    int authRetries_ = 0;
    int rateLimited_ = 0;
    int oneDriveRefetches_ = 0;
    QSet<const CloudItemClass*> failedBefore_; // files of this run that failed in the one before
    bool sizeAsked_ = false;                   // of the file in progress
    QTimer retryTimer_;
    QPointer<CloudFileDownload> download_;

    // Local files claimed from the hand-over until the run is done with, by item: a second
    // item with the same name in one folder gets "name (2).ext" instead of overwriting the first.
    QHash<QString, QString> claimedBy_; // local path -> item key
    QHash<QString, QString> localOf_;   // item key -> local path
    QString claimsFor_;                 // service and destination the claims belong to

    QPointer<DropboxWorker> dropbox_;
    QPointer<GoogleDriveWorker> google_;
    QPointer<OneDriveWorker> onedrive_;
    QNetworkAccessManager* nam_ = nullptr;
};
