#pragma once

#include "CloudFailListDelegate.h"
#include "CloudItemClass.h"
#include "CloudLoginService.h"
#include "CloudRateLimit.h"
#include "EmbeddedPage.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class CloudFailListViewController;
class CloudFileDownload;
struct CloudDownloadOutcome;
class DisplaySleepInhibitor;
class DropboxWorker;
class ElidedLabel;
class GoogleDriveWorker;
class ImageTextHyperLink;
class OneDriveWorker;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QPushButton;
class cloudProgressDelegate;
class customizeButton;

// The download run screen of the Cloud tab: fetches a list of cloud files one at a time into
// a local folder, with progress over all bytes, elapsed and remaining time, Stop, a summary and
// the failed-download list. Everything runs on the GUI thread from network completions.
// Each file is streamed to a temporary file beside its target and renamed over it only when
// complete, so a failure or Stop leaves an older file as it was and nothing partial behind.
class CloudProgressViewController : public QWidget, public CloudFailListDelegate, public EmbeddedPage {
    Q_OBJECT
    Q_PROPERTY(bool running READ isRunning)
public:
    explicit CloudProgressViewController(QWidget* parent = nullptr);
    ~CloudProgressViewController() override;

    // EmbeddedPage: keeps the main window's cloudProgressDelegate.
    void embed(QObject* mainWindow) override;

    cloudProgressDelegate* downloadProgressDelegate = nullptr; // not owned
    QWidget* colorBackgroundView = nullptr;
    customizeButton* functionBtn = nullptr;
    QLabel* mainLabel = nullptr;
    QLabel* titleLabel_1 = nullptr;
    ElidedLabel* valueLabel_1 = nullptr;
    QLabel* titleLabel_2 = nullptr;
    QLabel* valueLabel_2 = nullptr;
    QLabel* timeElapsedTitleLabel = nullptr;
    QLabel* timeElapsedValueLabel = nullptr;
    QLabel* timeLeftTitleLabel = nullptr;
    QLabel* timeLeftValueLabel = nullptr;
    QLabel* successImageView = nullptr;
    QProgressBar* downloadProgressBar = nullptr; // 0 to 1000: tenths of a percent
    QLabel* downloadProgressLabel = nullptr;
    ImageTextHyperLink* destHyperLink = nullptr;
    QPushButton* failButton = nullptr;

    QString destPath; // destination of the last finished run
    qint64 seconds_Elapse = 0;
    qint64 seconds_Left = 0;
    QTimer timer_Elapse;
    QTimer timer_Left;
    QTimer leftTimeEstimator;
    QList<CloudItemPtr> failCloudItemArray;
    qint64 passFileCount = 0;
    qint64 failFileCount = 0;
    qint64 needDownloadTotalSize = 0;
    qint64 nowDownloadedSize = 0;
    qint64 tempDownloadSize = 0;
    CloudItemPtr currentDownloadingItem;
    QList<CloudItemPtr> doDownloadData;

    // Waits and bounds; tests shrink them.
    int authRetryMs = 10 * 1000;    // after an HTTP 401 and a renewal, before the same file is asked again
    int authRetryLimit = 3;         // such retries of one file
    int oneDriveRefetchLimit = 1;   // fresh download addresses asked for one file
    CloudRateLimit rateLimit;       // a file answered "too many requests"
    int transferTimeoutMs = 60 * 1000;

    // CloudFailListDelegate
    void resetProgressView() override;
    void doCloudDownload(const QList<CloudItemPtr>& items, const QString& destination,
                         CloudLoginService service) override;
    QString doDownloadUrl() const override { return doDownloadUrl_; }
    std::optional<CloudLoginService> currentService() const override { return currentService_; }

    // Stop while running, Done after the summary.
    void stopDownload();
    // The failed-download list, or the message that nothing failed (then null).
    CloudFailListViewController* failBtnClick();
    void hyperLinkClicked();
    void updateTimer_Elapse();
    void updateTimer_Left();
    void updateEstimateTime();
    // Progress of the file in progress: the percentage over all bytes of the run.
    void setProgress(qint64 receivedOfCurrent);
    // The window took the Cloud tab away: end a run without a summary and go back to idle.
    Q_INVOKABLE void abortDownload();

    bool isRunning() const { return state_ == State::Running; }
    double percent() const { return percent_; }
    // "%02i:%02i:%02i" with hours uncapped.
    static QString timeText(qint64 seconds);

    // The clients (not owned; set before a run), the manager for OneDrive content, what
    // opens the destination folder and what keeps the display awake.
    void setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive);
    void setNetworkAccessManager(QNetworkAccessManager* manager);
    void setFolderOpener(std::function<bool(const QUrl&)> opener) { openFolder_ = std::move(opener); }
    void setSleepInhibitor(DisplaySleepInhibitor* inhibitor); // not owned; null: our own
    DisplaySleepInhibitor* sleepInhibitor() const { return inhibitor_; }

Q_SIGNALS:
    // The summary is on screen.
    void runFinished();

private:
    enum class State { Idle, Running, Summary };

    void viewDidLoad();
    void preventDisplaySleep(const QString& reason);
    void allowDisplaySleep();
    void stopTimers();
    void showCounter();
    void startItem(int index);
    void downloadDropboxItem(int index, const QString& localFile);
    void downloadGoogleDriveItem(int index, const QString& localFile);
    void downloadOneDriveItem(int index, const QString& localFile);
    void fetch(QNetworkReply* reply, const QString& localFile, int index);
    void onFileFinished(int index, const CloudDownloadOutcome& outcome);
    void retryLater(int index, int delayMs);
    void renewSignIn(int index, const QString& remark);
    void refetchOneDriveAddress(int index, const QString& remark);
    // The service's sign-in can no longer be renewed: what is left is not tried, and the user
    // is asked to sign in again.
    void endForExpiredSignIn(int index);
    void itemSucceeded(int index);
    void itemFailed(int index, const QString& remark);
    void next();
    void cancelOpenRequest();
    // Lists the files from `fromIndex` on as failed; those without a remark get `remark`.
    void markRemaining(int fromIndex, const QString& remark);
    void finishDownload(qint64 count, const QString& destination);
    void showSummary(qint64 count, const QString& destination);
    // Where the item lands, or the remark why it cannot.
    std::optional<QString> localFileFor(const CloudItemPtr& item, QString* remark);
    QString sourceOf(const CloudItemPtr& item) const;

    DropboxWorker* dropbox() const;
    GoogleDriveWorker* google() const;
    OneDriveWorker* onedrive() const;

    State state_ = State::Idle;
    QString doDownloadUrl_;
    std::optional<CloudLoginService> currentService_;
    quint64 generation_ = 0; // bumped by every start and stop: older completions are dropped
    int index_ = -1;
    double percent_ = 0;
    int authRetries_ = 0;
    int rateLimited_ = 0;
    int oneDriveRefetches_ = 0;
    QTimer retryTimer_;

    QPointer<CloudFileDownload> download_;

    // Local files claimed from the hand-over until Done, by item: a second item with the same
    // name in one folder gets "name (2).ext" instead of overwriting the first.
    QHash<QString, QString> claimedBy_; // local path -> item key
    QHash<QString, QString> localOf_;   // item key -> local path
    QString claimsFor_;                 // service and destination the claims belong to

    DropboxWorker* dropbox_ = nullptr;
    GoogleDriveWorker* google_ = nullptr;
    OneDriveWorker* onedrive_ = nullptr;
    QNetworkAccessManager* nam_ = nullptr;
    std::function<bool(const QUrl&)> openFolder_;
    DisplaySleepInhibitor* inhibitor_ = nullptr;
    DisplaySleepInhibitor* ownInhibitor_ = nullptr;
};
