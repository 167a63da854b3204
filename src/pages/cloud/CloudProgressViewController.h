#pragma once

#include "CloudDownloadRun.h"
#include "CloudFailListDelegate.h"
#include "CloudItemClass.h"
#include "CloudLoginService.h"
#include "EmbeddedPage.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class CloudFailListViewController;
class CloudRunClock;
class DisplaySleepInhibitor;
class DropboxWorker;
class ElidedLabel;
class GoogleDriveWorker;
class ImageTextHyperLink;
class OneDriveWorker;
class QLabel;
class QNetworkAccessManager;
class QProgressBar;
class QPushButton;
class cloudProgressDelegate;
class customizeButton;

// The download run screen of the Cloud tab: shows a CloudDownloadRun going, with the file in
// progress, progress over all bytes, elapsed and remaining time and Stop, then a summary, a
// link to the destination and the failed-download list. The display stays awake while it runs.
class CloudProgressViewController : public QWidget, public CloudFailListDelegate, public EmbeddedPage {
    Q_OBJECT
public:
    explicit CloudProgressViewController(QWidget* parent = nullptr);
    ~CloudProgressViewController() override;

    // EmbeddedPage: keeps the main window's cloudProgressDelegate.
    void embed(QObject* mainWindow) override;

    cloudProgressDelegate* downloadProgressDelegate = nullptr; // not owned

    // CloudFailListDelegate
    void resetProgressView() override;
    void doCloudDownload(const QList<CloudItemPtr>& items, const QString& destination,
                         CloudLoginService service) override;
    QString doDownloadUrl() const override { return run_->destination(); }
    std::optional<CloudLoginService> currentService() const override { return run_->service(); }

    // Stop while running, Done after the summary.
    void stopDownload();
    // The failed-download list, or the message that nothing failed (then null).
    CloudFailListViewController* failBtnClick();
    void hyperLinkClicked();
    // The window took the Cloud tab away: end a run without a summary and go back to idle.
    Q_INVOKABLE void abortDownload();

    bool isRunning() const { return run_->isRunning(); }
    // For tests: a file of the run waits to be asked for again.
    bool isWaitingToRetry() const { return run_->isWaitingToRetry(); }
    qint64 passFileCount() const { return run_->passFileCount(); }
    // The files of the last run that failed, each with its remark.
    const QList<CloudItemPtr>& failCloudItemArray() const { return run_->failCloudItemArray(); }
    // Waits and bounds of the runs; tests shrink them.
    CloudDownloadRun::Limits& limits() { return run_->limits; }

    // The clients (not owned; set before a run), the manager for OneDrive content, what
    // opens the destination folder and what keeps the display awake.
    void setClients(DropboxWorker* dropbox, GoogleDriveWorker* google, OneDriveWorker* onedrive);
    void setNetworkAccessManager(QNetworkAccessManager* manager);
    void setFolderOpener(std::function<bool(const QUrl&)> opener) { openFolder_ = std::move(opener); }
    void setSleepInhibitor(DisplaySleepInhibitor* inhibitor); // not owned; null: our own
    DisplaySleepInhibitor* sleepInhibitor() const { return inhibitor_; }

    // What the screen shows, as the user reads it.
    struct Shown {
        QString headline;     // "Backing up... (k/n)", then "Summary"
        QString firstValue;   // the file in progress, then passed over all
        QString secondValue;  // the number that failed (summary only)
        QString timeElapsed;
        QString timeLeft;
        QString progress;     // "%.1f%"
        QString button;       // "Stop" or "Done"
        QString statusImage;  // the summary's picture; empty while running
        QString destination;  // the link of the summary
    };
    Shown shown() const;

Q_SIGNALS:
    // The summary is on screen.
    void runFinished();
    // The bar moved to `percent` of all bytes; `receivedOfCurrentFile` bytes of the file in
    // progress are in.
    void progressShown(double percent, qint64 receivedOfCurrentFile);

private:
    enum class State { Idle, Running, Summary };

    void preventDisplaySleep(const QString& reason);
    void allowDisplaySleep();
    void showCounter();
    void showProgress(double percent, qint64 receivedOfCurrentFile);
    void finishDownload();
    void showSummary(qint64 count, const QString& destination);
    void showExpiredSignIn(const QString& service);

    CloudDownloadRun* run_;
    CloudRunClock* clock_;
    State state_ = State::Idle;
    QString destPath; // destination of the last finished run
    QString statusImage_;

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

    std::function<bool(const QUrl&)> openFolder_;
    DisplaySleepInhibitor* inhibitor_ = nullptr;
    DisplaySleepInhibitor* ownInhibitor_ = nullptr;
};
