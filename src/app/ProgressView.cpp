#include "ProgressView.h"

#include "ControlNames.h"
#include "ControlStyle.h"
#include "ElidedLabel.h"
#include "ProgressViewDelegate.h"
#include "ZorviImages.h"
#include "customizeButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QSettings>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>

// One line per archive callback: many per second, so off unless asked for.
Q_LOGGING_CATEGORY(lcProgressView, "zorvi.progress", QtInfoMsg)

namespace {
// The shortest text that reads back as the same float, always with a fraction or exponent.
QString shortestFloat(float value)
{
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    QString text = QString::fromLatin1(buf, int(result.ptr - buf));
    if (std::isfinite(value) && !text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

QString percentText(double value)
{
    return QString::asprintf("%.1f", value) + QLatin1Char('%');
}
} // namespace

ProgressView::ProgressView(QWidget* parent)
    : QDialog(parent, ControlStyle::dialogFlags())
{
    setObjectName(QStringLiteral("BackupProgressView"));
    const QString dark = QStringLiteral("color: %1;").arg(ControlStyle::css(ControlStyle::darkText()));
    const QString grey = QStringLiteral("color: %1;").arg(ControlStyle::css(ControlStyle::greyText()));

    image = new QLabel(this);
    image->setFixedSize(64, 64);
    image->setAlignment(Qt::AlignCenter);

    titleLabel = new QLabel(this);
    titleLabel->setFont(ControlStyle::font(18, true));
    titleLabel->setStyleSheet(dark);
    taskNameLabel = new ElidedLabel(QString(), this);
    taskNameLabel->setFont(ControlStyle::font(18));
    taskNameLabel->setTextColor(ControlStyle::greyText());
    taskNameLabel->hide();

    statusTitle = new QLabel(tr("Status:"), this);
    statusTitle->setFont(ControlStyle::font(14));
    statusTitle->setStyleSheet(grey);
    statusLabel = new QLabel(this);
    statusLabel->setFont(ControlStyle::font(14));
    statusLabel->setStyleSheet(dark);

    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 1000);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setFixedHeight(8);
    progressBar->setStyleSheet(QStringLiteral(
        "QProgressBar { background: #E3E3E3; border: none; border-radius: 4px; }"
        "QProgressBar::chunk { background: #007AFF; border-radius: 4px; }"));

    progressLabel = new QLabel(percentText(0), this);
    progressLabel->setFont(ControlStyle::font(14));
    progressLabel->setStyleSheet(dark);
    progressLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    progressLabel->setMinimumWidth(progressLabel->fontMetrics().horizontalAdvance(QStringLiteral("100.0%")) + 8);

    cancelBtn = new customizeButton(tr("Cancel"), this);
    cancelBtn->setFixedSize(96, 30);
    connect(cancelBtn, &QPushButton::clicked, this, &ProgressView::cancelClick);

    // Layouts place the status text for every language; no per-language offsets needed.
    auto* status = new QHBoxLayout;
    status->setSpacing(6);
    status->addWidget(statusTitle);
    status->addWidget(statusLabel, 1);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(12);
    bar->addWidget(progressBar, 1);
    bar->addWidget(progressLabel);

    auto* heading = new QHBoxLayout;
    heading->setSpacing(8);
    heading->addWidget(titleLabel);
    heading->addWidget(taskNameLabel, 1);

    auto* text = new QVBoxLayout;
    text->setSpacing(10);
    text->addLayout(heading);
    text->addLayout(status);
    text->addLayout(bar);

    auto* top = new QHBoxLayout;
    top->setSpacing(20);
    top->addWidget(image, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelBtn);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(24, 24, 24, 20);
    root->setSpacing(18);
    root->addLayout(top);
    root->addLayout(buttons);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, ControlStyle::dialogBackground());
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(480, 190);

    ControlNames::apply({
        { progressBar, "progressBar" },
        { titleLabel, "titleLabel" },
        { taskNameLabel, "taskNameLabel" },
        { statusTitle, "statusTitle" },
        { statusLabel, "statusLabel" },
        { progressLabel, "progressLabel" },
        { image, "image" },
        { cancelBtn, "cancelBtn" }
    });
}

ProgressView::~ProgressView() = default;

void ProgressView::present()
{
    // Modal to its window only, so the tray menu (Show, Help, Quit) still answers during a run.
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

void ProgressView::showEvent(QShowEvent* event)
{
    if (!loaded_) {
        loaded_ = true;
        viewDidLoad();
    }
    QDialog::showEvent(event);
}

void ProgressView::viewDidLoad()
{
    titleLabel->setText(titleString);
    setWindowTitle(titleString);
    if (taskInfo && !taskInfo->taskName.isEmpty()) {
        const QString quoted = QLatin1Char('"') + taskInfo->taskName + QLatin1Char('"');
        taskNameLabel->setText(quoted);
        taskNameLabel->setToolTip(quoted);
        taskNameLabel->show();
        setWindowTitle(titleString + QLatin1Char(' ') + quoted);
    }
    statusLabel->setText(statusString);
    const QPixmap pm = ZorviImages::pixmap(imagePath, QSize(64, 64));
    image->setPixmap(pm);
    image->setProperty("imageName", pm.isNull() ? QString() : imagePath);
}

void ProgressView::setBar(double percent)
{
    // The bar cannot show a value outside its range (nor NaN); the label still tells the truth.
    if (!std::isfinite(percent) || percent < 0)
        percent = 0;
    progressBar->setValue(int(std::lround(std::min(percent, 100.0) * 10)));
}

void ProgressView::updateProgress(float p)
{
    setBar(p > 100 ? 99.8 : double(p));
    progressLabel->setText(percentText(p));
}

void ProgressView::updateProgressFraction(float f)
{
    const float percent = f * 100;
    setBar(percent);
    progressLabel->setText(percentText(percent));
}

double ProgressView::barValue() const
{
    return progressBar->value() / 10.0;
}

QString ProgressView::progressText() const
{
    return progressLabel->text();
}

void ProgressView::copyProgress(float p)
{
    // Queued to this window's thread; Qt drops the call if the window is destroyed first.
    QMetaObject::invokeMethod(this, [this, p] { updateProgress(p); }, Qt::QueuedConnection);
}

void ProgressView::reportArchiveProgress(const char* prefix, float fraction)
{
    qCDebug(lcProgressView).noquote() << QLatin1String(prefix) + shortestFloat(fraction * 100) + QStringLiteral(" %");
    QMetaObject::invokeMethod(this, [this, fraction] { updateProgressFraction(fraction); }, Qt::QueuedConnection);
}

void ProgressView::onLzmaSDKObjCWriter(LzmaSDKObjCWriter*, float writeProgress)
{
    reportArchiveProgress("Writer progress: ", writeProgress);
}

void ProgressView::onLzmaSDKObjCReader(LzmaSDKObjCReader*, float extractProgress)
{
    reportArchiveProgress("Reader progress: ", extractProgress);
}

void ProgressView::waitingFor(const QString& reason)
{
    // The status says what the run waits for, then what it does again.
    QMetaObject::invokeMethod(this, [this, reason] { statusLabel->setText(reason.isEmpty() ? statusString : reason); },
                              Qt::QueuedConnection);
}

void ProgressView::cancelClick()
{
    cancelTask();
}

void ProgressView::cancelTask()
{
    if (progressDelegate && taskInfo) {
        QSettings* defaults = progressDelegate->defaults();
        if (defaults && defaults->value(QStringLiteral("IsRunningOTB")).toBool())
            progressDelegate->startOtbTimer(300);
        taskInfo->BackupRestoreCancel = true;
    }
    if (progressDelegate)
        progressDelegate->removePartialArchive();
    done(QDialog::Rejected);
}

void ProgressView::reject()
{
}
