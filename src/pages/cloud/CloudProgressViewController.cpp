#include "CloudProgressViewController.h"

#include "CloudDownloadOutcome.h"
#include "CloudFailListViewController.h"
#include "CloudFileDownload.h"
#include "CloudLocalPath.h"
#include "CloudRunLog.h"
#include "ControlStyle.h"
#include "DisplaySleepInhibitor.h"
#include "DropboxWorker.h"
#include "ElidedLabel.h"
#include "GoogleDriveWorker.h"
#include "GoogleReporter.h"
#include "ImageTextHyperLink.h"
#include "OneDriveWorker.h"
#include "UtilityFunctions.h"
#include "ZorviImages.h"
#include "cloudProgressDelegate.h"
#include "customizeButton.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>
#include <cmath>
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

QString serviceTitle(std::optional<CloudLoginService> service)
{
    switch (service.value_or(CloudLoginService::none)) {
    case CloudLoginService::dropbox: return QStringLiteral("Dropbox");
    case CloudLoginService::googleDrive: return QStringLiteral("Google Drive");
    case CloudLoginService::onedrive: return QStringLiteral("OneDrive");
    case CloudLoginService::none: break;
    }
    return QString();
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

QLabel* makeLabel(QWidget* parent, int pixelSize, bool bold, const QColor& colour)
{
    auto* label = new QLabel(parent);
    label->setFont(ControlStyle::font(pixelSize, bold));
    label->setStyleSheet(QStringLiteral("color: %1;").arg(ControlStyle::css(colour)));
    return label;
}

const QColor kSummaryBlue(0, 112, 255);
const QColor kValueGrey(51, 51, 51);

} // namespace

CloudProgressViewController::CloudProgressViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("CloudProgressViewController"));
    setMinimumSize(744, 484);

    colorBackgroundView = new QWidget(this);
    colorBackgroundView->setObjectName(QStringLiteral("colorBackgroundView"));

    successImageView = new QLabel(colorBackgroundView);
    successImageView->setFixedSize(48, 48);
    successImageView->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_log_success"), QSize(48, 48)));
    mainLabel = makeLabel(colorBackgroundView, 24, true, ControlStyle::darkText());

    titleLabel_1 = makeLabel(colorBackgroundView, 15, false, ControlStyle::greyText());
    valueLabel_1 = new ElidedLabel(QString(), colorBackgroundView);
    valueLabel_1->setFont(ControlStyle::font(15));
    titleLabel_2 = makeLabel(colorBackgroundView, 15, false, ControlStyle::greyText());
    valueLabel_2 = makeLabel(colorBackgroundView, 15, false, kValueGrey);
    timeElapsedTitleLabel = makeLabel(colorBackgroundView, 15, false, ControlStyle::greyText());
    timeElapsedTitleLabel->setText(tr("Time elapsed"));
    timeElapsedValueLabel = makeLabel(colorBackgroundView, 15, false, ControlStyle::darkText());
    timeLeftTitleLabel = makeLabel(colorBackgroundView, 15, false, ControlStyle::greyText());
    timeLeftTitleLabel->setText(tr("Time left"));
    timeLeftValueLabel = makeLabel(colorBackgroundView, 15, false, ControlStyle::darkText());

    downloadProgressBar = new QProgressBar(colorBackgroundView);
    downloadProgressBar->setRange(0, 1000);
    downloadProgressBar->setValue(0);
    downloadProgressBar->setTextVisible(false);
    downloadProgressBar->setFixedHeight(10);
    downloadProgressBar->setStyleSheet(QStringLiteral(
        "QProgressBar { background: #E3E3E3; border: none; border-radius: 5px; }"
        "QProgressBar::chunk { background: #007AFF; border-radius: 5px; }"));
    downloadProgressLabel = makeLabel(colorBackgroundView, 15, false, ControlStyle::darkText());
    downloadProgressLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    downloadProgressLabel->setMinimumWidth(
        downloadProgressLabel->fontMetrics().horizontalAdvance(QStringLiteral("100.0%")) + 8);

    destHyperLink = new ImageTextHyperLink(colorBackgroundView);
    destHyperLink->setObjectName(QStringLiteral("destHyperLink"));
    failButton = new QPushButton(colorBackgroundView);
    failButton->setObjectName(QStringLiteral("failButton"));
    failButton->setFlat(true);
    failButton->setCursor(Qt::PointingHandCursor);
    failButton->setFont(ControlStyle::font(15));
    failButton->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; text-decoration: underline;"
                                             " text-align: left; padding: 0; }")
                                  .arg(ControlStyle::css(kSummaryBlue)));

    functionBtn = new customizeButton(tr("Stop"), colorBackgroundView);
    functionBtn->setObjectName(QStringLiteral("functionBtn"));
    functionBtn->setFixedSize(160, 44);

    auto* heading = new QHBoxLayout;
    heading->setSpacing(14);
    heading->addWidget(successImageView);
    heading->addWidget(mainLabel, 1);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(18);
    grid->setVerticalSpacing(12);
    grid->setColumnMinimumWidth(0, 120);
    grid->addWidget(titleLabel_1, 0, 0);
    grid->addWidget(valueLabel_1, 0, 1);
    grid->addWidget(titleLabel_2, 1, 0);
    grid->addWidget(valueLabel_2, 1, 1);
    grid->addWidget(timeElapsedTitleLabel, 2, 0);
    grid->addWidget(timeElapsedValueLabel, 2, 1);
    grid->addWidget(timeLeftTitleLabel, 3, 0);
    grid->addWidget(timeLeftValueLabel, 3, 1);
    grid->setColumnStretch(1, 1);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(14);
    bar->addWidget(downloadProgressBar, 1);
    bar->addWidget(downloadProgressLabel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(functionBtn);

    auto* panel = new QVBoxLayout(colorBackgroundView);
    panel->setContentsMargins(40, 32, 40, 28);
    panel->setSpacing(18);
    panel->addLayout(heading);
    panel->addLayout(grid);
    panel->addSpacing(6);
    panel->addLayout(bar);
    panel->addWidget(destHyperLink);
    panel->addWidget(failButton, 0, Qt::AlignLeft);
    panel->addStretch(1);
    panel->addLayout(buttons);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(20, 20, 20, 20);
    root->addWidget(colorBackgroundView);

    timer_Elapse.setInterval(1000);
    timer_Left.setInterval(1000);
    leftTimeEstimator.setInterval(5000);
    connect(&timer_Elapse, &QTimer::timeout, this, &CloudProgressViewController::updateTimer_Elapse);
    connect(&timer_Left, &QTimer::timeout, this, &CloudProgressViewController::updateTimer_Left);
    connect(&leftTimeEstimator, &QTimer::timeout, this, &CloudProgressViewController::updateEstimateTime);
    retryTimer_.setSingleShot(true);
    connect(functionBtn, &QPushButton::clicked, this, &CloudProgressViewController::stopDownload);
    connect(failButton, &QPushButton::clicked, this, [this] { failBtnClick(); });
    connect(destHyperLink, &QPushButton::clicked, this, &CloudProgressViewController::hyperLinkClicked);

    viewDidLoad();
    resetProgressView();
}

CloudProgressViewController::~CloudProgressViewController()
{
    ++generation_;
    cancelOpenRequest();
    allowDisplaySleep();
}

void CloudProgressViewController::viewDidLoad()
{
    colorBackgroundView->setAttribute(Qt::WA_StyledBackground);
    colorBackgroundView->setStyleSheet(QStringLiteral("#colorBackgroundView { background: white; }"));
    functionBtn->setFontSize(20);
}

void CloudProgressViewController::embed(QObject* mainWindow)
{
    downloadProgressDelegate = dynamic_cast<cloudProgressDelegate*>(mainWindow);
}

void CloudProgressViewController::setClients(DropboxWorker* dropbox, GoogleDriveWorker* google,
                                             OneDriveWorker* onedrive)
{
    dropbox_ = dropbox;
    google_ = google;
    onedrive_ = onedrive;
}

void CloudProgressViewController::setNetworkAccessManager(QNetworkAccessManager* manager)
{
    nam_ = manager;
}

void CloudProgressViewController::setSleepInhibitor(DisplaySleepInhibitor* inhibitor)
{
    allowDisplaySleep();
    inhibitor_ = inhibitor;
}

DropboxWorker* CloudProgressViewController::dropbox() const
{
    return dropbox_;
}

GoogleDriveWorker* CloudProgressViewController::google() const
{
    return google_;
}

OneDriveWorker* CloudProgressViewController::onedrive() const
{
    return onedrive_;
}

// ---------------------------------------------------------------- screen states

void CloudProgressViewController::resetProgressView()
{
    mainLabel->setText(tr("Backing up..."));
    mainLabel->show();
    titleLabel_1->setText(tr("Name"));
    valueLabel_1->setText(QString());
    valueLabel_1->setTextColor(kValueGrey);
    titleLabel_2->hide();
    valueLabel_2->hide();
    valueLabel_2->setStyleSheet(QStringLiteral("color: %1;").arg(ControlStyle::css(kValueGrey)));
    for (QWidget* w : {static_cast<QWidget*>(timeElapsedTitleLabel), static_cast<QWidget*>(timeElapsedValueLabel),
                       static_cast<QWidget*>(timeLeftTitleLabel), static_cast<QWidget*>(timeLeftValueLabel),
                       static_cast<QWidget*>(downloadProgressBar), static_cast<QWidget*>(downloadProgressLabel)})
        w->show();
    successImageView->hide();
    destHyperLink->setLabelText(QString());
    destHyperLink->hide();
    failButton->hide();
    functionBtn->setText(tr("Stop"));
}

void CloudProgressViewController::doCloudDownload(const QList<CloudItemPtr>& items, const QString& destination,
                                                  CloudLoginService service)
{
    qCInfo(lcCloudRun).noquote() << "CloudProgress doCloudDownload " + serviceName(service);
    if (state_ == State::Running)
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
    doDownloadData = unique;
    currentService_ = service;
    doDownloadUrl_ = destination;
    const QString claimsFor = serviceName(service) + QLatin1Char('|') + destination;
    if (claimsFor != claimsFor_) {
        claimedBy_.clear();
        localOf_.clear();
        claimsFor_ = claimsFor;
    }

    mainLabel->setText(tr("Backing up..."));
    mainLabel->show();
    titleLabel_1->setText(tr("Name"));
    if (functionBtn->isLoading())
        functionBtn->setLoading(false);
    functionBtn->setText(tr("Stop"));
    functionBtn->setEnabled(true);
    valueLabel_1->setText(QString());
    valueLabel_2->setText(QString());
    timeElapsedValueLabel->setText(timeText(0));
    timeLeftValueLabel->setText(QStringLiteral("--:--:--"));

    ++generation_;
    state_ = State::Running;
    index_ = -1;
    seconds_Elapse = 0;
    seconds_Left = 0;
    timer_Elapse.start();
    timer_Left.start();
    leftTimeEstimator.start();

    preventDisplaySleep(QStringLiteral("Unknown reason"));
    failCloudItemArray.clear();
    needDownloadTotalSize = 0;
    for (const CloudItemPtr& item : std::as_const(doDownloadData))
        needDownloadTotalSize = addSaturated(needDownloadTotalSize, item->size);
    nowDownloadedSize = 0;
    tempDownloadSize = 0;
    passFileCount = 0;
    failFileCount = 0;
    setProgress(0);
    showCounter();

    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this, [this, generation] {
            if (generation == generation_)
                startItem(0);
        },
        Qt::QueuedConnection);
}

void CloudProgressViewController::showCounter()
{
    const qint64 k = std::min<qint64>(passFileCount + failFileCount + 1, std::max<qint64>(doDownloadData.size(), 1));
    mainLabel->setText(tr("Backing up...") + QStringLiteral(" (%1/%2)").arg(k).arg(doDownloadData.size()));
}

void CloudProgressViewController::finishDownload(qint64 count, const QString& destination)
{
    stopTimers();
    currentDownloadingItem.reset();
    nowDownloadedSize = 0;
    tempDownloadSize = 0;
    needDownloadTotalSize = 0;
    // The display may sleep once nobody needs to watch the run any more.
    allowDisplaySleep();
    state_ = State::Summary;
    showSummary(count, destination);
    Q_EMIT runFinished();
}

void CloudProgressViewController::showSummary(qint64 count, const QString& destination)
{
    functionBtn->setLoading(false);
    functionBtn->setEnabled(true);
    mainLabel->setText(tr("Summary"));
    titleLabel_1->setText(tr("Successful"));
    valueLabel_1->setText(QStringLiteral("%1/%2").arg(passFileCount).arg(count));
    valueLabel_1->setTextColor(kSummaryBlue);
    titleLabel_2->setText(tr("Fail"));
    titleLabel_2->show();
    valueLabel_2->setText(QString::number(count - passFileCount));
    valueLabel_2->setStyleSheet(QStringLiteral("color: %1;").arg(ControlStyle::css(kSummaryBlue)));
    valueLabel_2->show();
    for (QWidget* w : {static_cast<QWidget*>(timeElapsedTitleLabel), static_cast<QWidget*>(timeElapsedValueLabel),
                       static_cast<QWidget*>(timeLeftTitleLabel), static_cast<QWidget*>(timeLeftValueLabel)})
        w->hide();
    downloadProgressBar->hide();
    downloadProgressBar->setValue(0);
    percent_ = 0;
    downloadProgressLabel->setText(QStringLiteral("0%"));
    downloadProgressLabel->hide();
    // A run that brought nothing down is no success, whatever the texts around it say.
    const bool none = count > 0 && passFileCount == 0;
    successImageView->setPixmap(
        ZorviImages::pixmap(none ? QStringLiteral("ic_log_fail") : QStringLiteral("ic_log_success"), QSize(48, 48)));
    successImageView->show();
    destHyperLink->setLabelText(destination);
    destHyperLink->show();
    destPath = destination;
    failButton->setText(tr("More Details"));
    failButton->show();
    functionBtn->setText(tr("Done"));
}

void CloudProgressViewController::stopDownload()
{
    allowDisplaySleep();
    stopTimers();

    if (state_ == State::Summary) {
        resetProgressView();
        state_ = State::Idle;
        claimedBy_.clear();
        localOf_.clear();
        if (downloadProgressDelegate)
            downloadProgressDelegate->showCloudPage();
        return;
    }
    if (state_ != State::Running)
        return;

    functionBtn->setLoading(true);
    static const QHash<CloudLoginService, QString> actions{
        {CloudLoginService::dropbox, QStringLiteral("Stop Dropbox backup")},
        {CloudLoginService::googleDrive, QStringLiteral("Stop Google Drive backup")},
        {CloudLoginService::onedrive, QStringLiteral("Stop One Drive backup")},
    };
    if (currentService_ && actions.contains(*currentService_))
        GoogleReporter::shared().event(QStringLiteral("Cloud Action"), actions.value(*currentService_), QString());
    cancelOpenRequest();
    functionBtn->setEnabled(true);
    markRemaining(int(passFileCount + failFileCount), tr("Download is canceled"));
    finishDownload(doDownloadData.size(), doDownloadUrl_);
}

void CloudProgressViewController::abortDownload()
{
    if (state_ == State::Idle)
        return;
    cancelOpenRequest();
    stopTimers();
    allowDisplaySleep();
    if (functionBtn->isLoading())
        functionBtn->setLoading(false);
    state_ = State::Idle;
    currentDownloadingItem.reset();
    claimedBy_.clear();
    localOf_.clear();
    resetProgressView();
}

void CloudProgressViewController::markRemaining(int fromIndex, const QString& remark)
{
    for (int i = std::max(fromIndex, 0); i < doDownloadData.size(); ++i)
        failCloudItemArray.append(doDownloadData.at(i));
    failFileCount = doDownloadData.size() - passFileCount;
    qCInfo(lcCloudRun).noquote() << "print failclouditemarray";
    for (const CloudItemPtr& item : std::as_const(failCloudItemArray)) {
        if (item->downloadFailIssue.isEmpty())
            item->downloadFailIssue = remark;
        qCDebug(lcCloudRun).noquote() << item->name + QStringLiteral(" : ") + item->downloadFailIssue;
    }
}

void CloudProgressViewController::cancelOpenRequest()
{
    ++generation_;
    retryTimer_.stop();
    // Never committed: the temporary file goes, an older file stays.
    if (download_)
        download_->cancel();
    download_ = nullptr;
}

CloudFailListViewController* CloudProgressViewController::failBtnClick()
{
    if (failCloudItemArray.isEmpty()) {
        UtilityFunctions::showMessageView(this, QString(), QStringLiteral("ic_log_success"),
                                          tr("Download all success."), false);
        return nullptr;
    }
    auto* list = new CloudFailListViewController(this);
    list->dataArray = failCloudItemArray;
    list->service = currentService_;
    list->delegate = this;
    list->present();
    return list;
}

void CloudProgressViewController::hyperLinkClicked()
{
    if (destPath.isEmpty())
        return;
    const QUrl url = QUrl::fromLocalFile(destPath);
    if (openFolder_)
        openFolder_(url);
    else
        QDesktopServices::openUrl(url);
}

// ---------------------------------------------------------------- timers

QString CloudProgressViewController::timeText(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

void CloudProgressViewController::stopTimers()
{
    timer_Elapse.stop();
    timer_Left.stop();
    leftTimeEstimator.stop();
    seconds_Elapse = 0;
    seconds_Left = 0;
}

void CloudProgressViewController::updateTimer_Elapse()
{
    if (seconds_Elapse < std::numeric_limits<qint64>::max())
        ++seconds_Elapse;
    timeElapsedValueLabel->setText(timeText(seconds_Elapse));
}

void CloudProgressViewController::updateTimer_Left()
{
    // The countdown rests at 3 until the next estimate.
    if (seconds_Left < 4)
        return;
    --seconds_Left;
    timeLeftValueLabel->setText(timeText(seconds_Left));
}

void CloudProgressViewController::updateEstimateTime()
{
    const double p = percent_;
    if (!(p > 0))
        return;
    const double whole = std::floor(double(seconds_Elapse) * 100.0 / p);
    const double left = whole - double(seconds_Elapse);
    // Tiny fractions of a huge total must not overflow the conversion.
    if (!std::isfinite(left) || left >= 9.0e18)
        seconds_Left = std::numeric_limits<qint64>::max();
    else
        seconds_Left = std::max<qint64>(qint64(left), 0);
    timeLeftValueLabel->setText(timeText(seconds_Left));
}

void CloudProgressViewController::setProgress(qint64 receivedOfCurrent)
{
    tempDownloadSize = addSaturated(nowDownloadedSize, quint64(std::max<qint64>(receivedOfCurrent, 0)));
    double percent = 0;
    if (needDownloadTotalSize > 0)
        percent = std::clamp(double(tempDownloadSize) / double(needDownloadTotalSize) * 100.0, 0.0, 100.0);
    percent_ = percent;
    downloadProgressLabel->setText(QString::asprintf("%.1f", percent) + QLatin1Char('%'));
    downloadProgressBar->setValue(int(std::lround(percent * 10)));
}

// ---------------------------------------------------------------- display sleep

void CloudProgressViewController::preventDisplaySleep(const QString& reason)
{
    if (!inhibitor_) {
        if (!ownInhibitor_)
            ownInhibitor_ = new DisplaySleepInhibitor(this);
        inhibitor_ = ownInhibitor_;
    }
    inhibitor_->inhibit(reason);
}

void CloudProgressViewController::allowDisplaySleep()
{
    if (inhibitor_)
        inhibitor_->release();
}

// ---------------------------------------------------------------- one file after another

QString CloudProgressViewController::sourceOf(const CloudItemPtr& item) const
{
    return currentService_ == CloudLoginService::googleDrive ? item->googleRoute : item->path;
}

std::optional<QString> CloudProgressViewController::localFileFor(const CloudItemPtr& item, QString* remark)
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

void CloudProgressViewController::startItem(int index)
{
    if (state_ != State::Running)
        return;
    if (index >= doDownloadData.size()) {
        finishDownload(doDownloadData.size(), doDownloadUrl_);
        return;
    }
    if (index != index_) {
        authRetries_ = 0;
        rateLimited_ = 0;
        oneDriveRefetches_ = 0;
    }
    index_ = index;
    const CloudItemPtr item = doDownloadData.at(index);
    currentDownloadingItem = item;
    // A remark from an earlier run no longer says why this attempt ends.
    item->downloadFailIssue.clear();
    valueLabel_1->setText(item->name);
    qCDebug(lcCloudRun).noquote() << "+++ Download :" + sourceOf(item) + " +++";

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
    case CloudLoginService::dropbox: return downloadDropboxItem(index, *local);
    case CloudLoginService::googleDrive: return downloadGoogleDriveItem(index, *local);
    case CloudLoginService::onedrive: return downloadOneDriveItem(index, *local);
    case CloudLoginService::none: break;
    }
    itemFailed(index, QStringLiteral("fail"));
}

void CloudProgressViewController::downloadDropboxItem(int index, const QString& localFile)
{
    const quint64 generation = generation_;
    const CloudItemPtr item = doDownloadData.at(index);
    download_ = dropbox()->download(
        item->path, localFile, item->size,
        [this, generation](qint64 received) {
            if (generation == generation_)
                setProgress(received);
        },
        [this, generation, index](const CloudFileDownload::Result& result) {
            if (generation != generation_)
                return;
            download_ = nullptr;
            onFileFinished(index, CloudDownloadOutcome::of(CloudLoginService::dropbox, result,
                                                           doDownloadData.at(index)->size, rateLimit, rateLimited_));
        });
}

void CloudProgressViewController::downloadGoogleDriveItem(int index, const QString& localFile)
{
    QNetworkReply* reply = google()->downloadRequest(doDownloadData.at(index)->id);
    if (!reply) {
        qCInfo(lcCloudRun).noquote() << "+ error +  get download request fail";
        return itemFailed(index, QStringLiteral("fail"));
    }
    fetch(reply, localFile, index);
}

void CloudProgressViewController::downloadOneDriveItem(int index, const QString& localFile)
{
    const CloudItemPtr item = doDownloadData.at(index);
    const QUrl url(item->downloadPath, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))) {
        if (oneDriveRefetches_ < oneDriveRefetchLimit)
            return refetchOneDriveAddress(index, QStringLiteral("fail"));
        return itemFailed(index, QStringLiteral("fail"));
    }
    // The address is pre-authenticated: its query is a secret.
    qCDebug(lcCloudRun).noquote() << "prepare download : " + CloudFileDownload::addressForLog(url);
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    if (!nam_)
        nam_ = new QNetworkAccessManager(this);
    fetch(nam_->get(request), localFile, index);
}

void CloudProgressViewController::fetch(QNetworkReply* reply, const QString& localFile, int index)
{
    const quint64 generation = generation_;
    const CloudLoginService service = currentService_.value_or(CloudLoginService::none);
    download_ = new CloudFileDownload(
        reply, localFile, doDownloadData.at(index)->size,
        [this, generation](qint64 received) {
            if (generation == generation_)
                setProgress(received);
        },
        [this, generation, index, service](const CloudFileDownload::Result& result) {
            if (generation != generation_)
                return;
            download_ = nullptr;
            onFileFinished(index, CloudDownloadOutcome::of(service, result, doDownloadData.at(index)->size, rateLimit,
                                                           rateLimited_));
        },
        this);
}

void CloudProgressViewController::onFileFinished(int index, const CloudDownloadOutcome& outcome)
{
    using Step = CloudDownloadOutcome::Step;
    switch (outcome.step) {
    case Step::saved:
        qCDebug(lcCloudRun).noquote() << "write to " + sourceOf(doDownloadData.at(index));
        return itemSucceeded(index);
    case Step::askAgain:
        ++rateLimited_;
        qCInfo(lcCloudRun).noquote() << "too many requests; the file is asked for again in" << outcome.waitMs << "ms";
        return retryLater(index, outcome.waitMs);
    case Step::renewSignIn:
        return renewSignIn(index, outcome.remark);
    case Step::renewAddress:
        if (oneDriveRefetches_ < oneDriveRefetchLimit)
            return refetchOneDriveAddress(index, outcome.remark);
        break;
    case Step::failed:
        break;
    }
    qCInfo(lcCloudRun).noquote() << "+ error +  " + outcome.remark;
    itemFailed(index, outcome.remark);
}

void CloudProgressViewController::renewSignIn(int index, const QString& remark)
{
    qCInfo(lcCloudRun).noquote() << "401 error";
    const bool google = currentService_ == CloudLoginService::googleDrive;
    if (google)
        this->google()->refreshToken();
    else
        dropbox()->refreshToken();
    if (google ? this->google()->signInExpired() : dropbox()->signInExpired())
        return endForExpiredSignIn(index);
    if (authRetries_ >= authRetryLimit)
        return itemFailed(index, remark);
    ++authRetries_;
    retryLater(index, authRetryMs);
}

void CloudProgressViewController::endForExpiredSignIn(int index)
{
    const QString service = serviceTitle(currentService_);
    qCWarning(lcCloudRun).noquote() << "the" << service << "sign-in has expired; the run ends";
    cancelOpenRequest();
    markRemaining(index, tr("Not downloaded: the %1 sign-in has expired.").arg(service));
    finishDownload(doDownloadData.size(), doDownloadUrl_);
    UtilityFunctions::showMessageView(this, tr("Error"), QStringLiteral("ic_log_lable"),
                                      tr("Zorvi is no longer signed in to %1 and could not renew the sign-in. Sign "
                                         "out of %1 on the Cloud page and sign in again, then download the files "
                                         "that are left from the list under \"More Details\".")
                                          .arg(service),
                                      false);
}

void CloudProgressViewController::retryLater(int index, int delayMs)
{
    const quint64 generation = generation_;
    retryTimer_.disconnect(this);
    connect(&retryTimer_, &QTimer::timeout, this, [this, generation, index] {
        // Stop cancels this timer; the checks guard a timeout already queued.
        if (generation == generation_ && state_ == State::Running)
            startItem(index);
    });
    retryTimer_.start(std::max(delayMs, 0));
}

void CloudProgressViewController::refetchOneDriveAddress(int index, const QString& remark)
{
    ++oneDriveRefetches_;
    const quint64 generation = generation_;
    const CloudItemPtr item = doDownloadData.at(index);
    onedrive()->getItemInfo(item, [this, generation, index, item, remark](const QString& address) {
        if (generation != generation_ || state_ != State::Running)
            return;
        if (address.isEmpty() && onedrive()->signInExpired())
            return endForExpiredSignIn(index);
        if (address.isEmpty())
            return itemFailed(index, remark);
        item->downloadPath = address;
        startItem(index);
    });
}

void CloudProgressViewController::itemSucceeded(int index)
{
    ++passFileCount;
    nowDownloadedSize = addSaturated(nowDownloadedSize, doDownloadData.at(index)->size);
    setProgress(0);
    next();
}

void CloudProgressViewController::itemFailed(int index, const QString& remark)
{
    const CloudItemPtr item = doDownloadData.at(index);
    ++failFileCount;
    item->downloadFailIssue = remark;
    failCloudItemArray.append(item);
    qCInfo(lcCloudRun).noquote() << "Download failed:" << sourceOf(item) << "-" << remark;
    next();
}

void CloudProgressViewController::next()
{
    if (passFileCount + failFileCount >= doDownloadData.size()) {
        finishDownload(doDownloadData.size(), doDownloadUrl_);
        return;
    }
    showCounter();
    // From the event loop: a long run of files that fail at once must not nest calls.
    const quint64 generation = generation_;
    const int nextIndex = int(passFileCount + failFileCount);
    QMetaObject::invokeMethod(
        this, [this, generation, nextIndex] {
            if (generation == generation_)
                startItem(nextIndex);
        },
        Qt::QueuedConnection);
}
