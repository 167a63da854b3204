#include "CloudProgressViewController.h"

#include "CloudFailListViewController.h"
#include "CloudRunClock.h"
#include "ControlStyle.h"
#include "DisplaySleepInhibitor.h"
#include "ElidedLabel.h"
#include "GoogleReporter.h"
#include "ImageTextHyperLink.h"
#include "UtilityFunctions.h"
#include "ZorviImages.h"
#include "cloudProgressDelegate.h"
#include "customizeButton.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

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
    , run_(new CloudDownloadRun(this))
    , clock_(new CloudRunClock(this))
{
    setObjectName(QStringLiteral("CloudProgressViewController"));
    setMinimumSize(744, 484);

    colorBackgroundView = new QWidget(this);
    colorBackgroundView->setObjectName(QStringLiteral("colorBackgroundView"));
    colorBackgroundView->setAttribute(Qt::WA_StyledBackground);
    colorBackgroundView->setStyleSheet(QStringLiteral("#colorBackgroundView { background: white; }"));

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
    functionBtn->setFontSize(20);

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

    connect(functionBtn, &QPushButton::clicked, this, &CloudProgressViewController::stopDownload);
    connect(failButton, &QPushButton::clicked, this, [this] { failBtnClick(); });
    connect(destHyperLink, &QPushButton::clicked, this, &CloudProgressViewController::hyperLinkClicked);

    connect(clock_, &CloudRunClock::elapsedChanged, this,
            [this](qint64 seconds) { timeElapsedValueLabel->setText(CloudRunClock::timeText(seconds)); });
    connect(clock_, &CloudRunClock::leftChanged, this,
            [this](qint64 seconds) { timeLeftValueLabel->setText(CloudRunClock::timeText(seconds)); });
    connect(run_, &CloudDownloadRun::fileStarted, this,
            [this](const CloudItemPtr& item) { valueLabel_1->setText(item->name); });
    connect(run_, &CloudDownloadRun::advanced, this, &CloudProgressViewController::showCounter);
    connect(run_, &CloudDownloadRun::progressed, this, &CloudProgressViewController::showProgress);
    connect(run_, &CloudDownloadRun::finished, this, &CloudProgressViewController::finishDownload);
    connect(run_, &CloudDownloadRun::signInExpired, this, &CloudProgressViewController::showExpiredSignIn);

    resetProgressView();
}

CloudProgressViewController::~CloudProgressViewController()
{
    run_->abort();
    allowDisplaySleep();
}

void CloudProgressViewController::embed(QObject* mainWindow)
{
    downloadProgressDelegate = dynamic_cast<cloudProgressDelegate*>(mainWindow);
}

void CloudProgressViewController::setClients(DropboxWorker* dropbox, GoogleDriveWorker* google,
                                             OneDriveWorker* onedrive)
{
    run_->setClients(dropbox, google, onedrive);
}

void CloudProgressViewController::setNetworkAccessManager(QNetworkAccessManager* manager)
{
    run_->setNetworkAccessManager(manager);
}

void CloudProgressViewController::setSleepInhibitor(DisplaySleepInhibitor* inhibitor)
{
    allowDisplaySleep();
    inhibitor_ = inhibitor;
}

CloudProgressViewController::Shown CloudProgressViewController::shown() const
{
    Shown s;
    s.headline = mainLabel->text();
    s.firstValue = valueLabel_1->text();
    s.secondValue = valueLabel_2->isVisibleTo(this) ? valueLabel_2->text() : QString();
    s.timeElapsed = timeElapsedValueLabel->text();
    s.timeLeft = timeLeftValueLabel->text();
    s.progress = downloadProgressLabel->text();
    s.button = functionBtn->text();
    s.statusImage = successImageView->isVisibleTo(this) ? statusImage_ : QString();
    s.destination = destHyperLink->isVisibleTo(this) ? destHyperLink->labelText() : QString();
    return s;
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
    mainLabel->setText(tr("Backing up..."));
    mainLabel->show();
    titleLabel_1->setText(tr("Name"));
    if (functionBtn->isLoading())
        functionBtn->setLoading(false);
    functionBtn->setText(tr("Stop"));
    functionBtn->setEnabled(true);
    valueLabel_1->setText(QString());
    valueLabel_2->setText(QString());
    timeElapsedValueLabel->setText(CloudRunClock::timeText(0));
    timeLeftValueLabel->setText(QStringLiteral("--:--:--"));

    state_ = State::Running;
    clock_->start();
    preventDisplaySleep(QStringLiteral("Unknown reason"));
    run_->start(items, destination, service);
    showCounter();
}

void CloudProgressViewController::showCounter()
{
    const qint64 total = run_->files().size();
    const qint64 k = std::min<qint64>(run_->passFileCount() + run_->failFileCount() + 1, std::max<qint64>(total, 1));
    mainLabel->setText(tr("Backing up...") + QStringLiteral(" (%1/%2)").arg(k).arg(total));
}

void CloudProgressViewController::showProgress(double percent, qint64 receivedOfCurrentFile)
{
    clock_->setPercent(percent);
    downloadProgressLabel->setText(QString::asprintf("%.1f", percent) + QLatin1Char('%'));
    downloadProgressBar->setValue(int(std::lround(percent * 10)));
    Q_EMIT progressShown(percent, receivedOfCurrentFile);
}

void CloudProgressViewController::finishDownload()
{
    clock_->stop();
    // The display may sleep once nobody needs to watch the run any more.
    allowDisplaySleep();
    state_ = State::Summary;
    showSummary(run_->files().size(), run_->destination());
    Q_EMIT runFinished();
}

void CloudProgressViewController::showSummary(qint64 count, const QString& destination)
{
    const qint64 passed = run_->passFileCount();
    functionBtn->setLoading(false);
    functionBtn->setEnabled(true);
    mainLabel->setText(tr("Summary"));
    titleLabel_1->setText(tr("Successful"));
    valueLabel_1->setText(QStringLiteral("%1/%2").arg(passed).arg(count));
    valueLabel_1->setTextColor(kSummaryBlue);
    titleLabel_2->setText(tr("Fail"));
    titleLabel_2->show();
    valueLabel_2->setText(QString::number(count - passed));
    valueLabel_2->setStyleSheet(QStringLiteral("color: %1;").arg(ControlStyle::css(kSummaryBlue)));
    valueLabel_2->show();
    for (QWidget* w : {static_cast<QWidget*>(timeElapsedTitleLabel), static_cast<QWidget*>(timeElapsedValueLabel),
                       static_cast<QWidget*>(timeLeftTitleLabel), static_cast<QWidget*>(timeLeftValueLabel)})
        w->hide();
    downloadProgressBar->hide();
    downloadProgressBar->setValue(0);
    downloadProgressLabel->setText(QStringLiteral("0%"));
    downloadProgressLabel->hide();
    // A run that brought nothing down is no success, whatever the texts around it say.
    const bool none = count > 0 && passed == 0;
    statusImage_ = none ? QStringLiteral("ic_log_fail") : QStringLiteral("ic_log_success");
    successImageView->setPixmap(ZorviImages::pixmap(statusImage_, QSize(48, 48)));
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
    clock_->stop();

    if (state_ == State::Summary) {
        resetProgressView();
        state_ = State::Idle;
        run_->releaseClaims();
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
    if (const std::optional<CloudLoginService> service = run_->service(); service && actions.contains(*service))
        GoogleReporter::shared().event(QStringLiteral("Cloud Action"), actions.value(*service), QString());
    run_->stop(tr("Download is canceled"));
}

void CloudProgressViewController::abortDownload()
{
    if (state_ == State::Idle)
        return;
    run_->abort();
    clock_->stop();
    allowDisplaySleep();
    if (functionBtn->isLoading())
        functionBtn->setLoading(false);
    state_ = State::Idle;
    resetProgressView();
}

void CloudProgressViewController::showExpiredSignIn(const QString& service)
{
    UtilityFunctions::showMessageView(this, tr("Error"), QStringLiteral("ic_log_lable"),
                                      tr("Zorvi is no longer signed in to %1 and could not renew the sign-in. Sign "
                                         "out of %1 on the Cloud page and sign in again, then download the files "
                                         "that are left from the list under \"More Details\".")
                                          .arg(service),
                                      false);
}

CloudFailListViewController* CloudProgressViewController::failBtnClick()
{
    if (run_->failCloudItemArray().isEmpty()) {
        UtilityFunctions::showMessageView(this, QString(), QStringLiteral("ic_log_success"),
                                          tr("Download all success."), false);
        return nullptr;
    }
    auto* list = new CloudFailListViewController(this);
    list->dataArray = run_->failCloudItemArray();
    list->service = run_->service();
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
