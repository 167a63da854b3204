#include "MyDeviceViewController.h"

#include "ControlNames.h"
#include "ControlStyle.h"
#include "MainTagBtn.h"
#include "MakerProducts.h"
#include "MyDeviceSendTaskDelegate.h"
#include "ProgressRing.h"
#include "UtilityFunctions.h"
#include "VolumeEjector.h"
#include "ZorviImages.h"
#include "customizeButton.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel* makeLabel(QWidget* parent, int pixelSize, bool bold, const QColor& colour)
{
    auto* label = new QLabel(parent);
    label->setFont(ControlStyle::font(pixelSize, bold));
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
    return label;
}

// "25.00 %" → 25; anything that is not a plain number → 0.
double percentValue(QString text)
{
    text.remove(QStringLiteral(" %"));
    static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)$"));
    if (!number.match(text).hasMatch())
        return 0;
    return text.toDouble();
}

} // namespace

MyDeviceViewController::MyDeviceViewController(QWidget* parent)
    : QWidget(parent)
    , discovery_(new DriveDiscovery(this))
    , volumeEjector_(new VolumeEjector(this))
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Tab strip with the reload control at its end.
    auto* strip = new QWidget(this);
    strip->setAutoFillBackground(true);
    QPalette sp = strip->palette();
    sp.setColor(QPalette::Window, MainTagBtn::stripBackground());
    strip->setPalette(sp);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(0, 0, 8, 0);
    stripLayout->setSpacing(0);
    stackView = new QWidget(strip);
    tabLayout_ = new QHBoxLayout(stackView);
    tabLayout_->setContentsMargins(0, 0, 0, 0);
    tabLayout_->setSpacing(0);
    stripLayout->addWidget(stackView);
    stripLayout->addStretch(1);
    loadingProgress = new ProgressRing(strip);
    loadingProgress->setFixedSize(20, 20);
    loadingProgress->hide();
    stripLayout->addWidget(loadingProgress);
    reloadBtn = new customizeButton(tr("Reload"), strip);
    reloadBtn->setFixedHeight(26);
    stripLayout->addWidget(reloadBtn);
    strip->setFixedHeight(34);
    root->addWidget(strip);

    noneDeviceView = new QWidget(this);
    auto* noneLayout = new QVBoxLayout(noneDeviceView);
    noneDeviceTitle = makeLabel(noneDeviceView, 18, false, ControlStyle::darkText());
    noneDeviceTitle->setText(tr("Please connect to a Morvantek storage device first."));
    noneDeviceTitle->setAlignment(Qt::AlignCenter);
    noneDeviceTitle->setWordWrap(true);
    noneLayout->addStretch(1);
    noneLayout->addWidget(noneDeviceTitle);
    noneLayout->addStretch(1);
    root->addWidget(noneDeviceView, 1);

    myDeviceView = new QWidget(this);
    auto* mine = new QHBoxLayout(myDeviceView);
    mine->setContentsMargins(40, 30, 40, 30);
    mine->setSpacing(36);
    deviceImage = new QLabel(myDeviceView);
    deviceImage->setFixedSize(180, 180);
    deviceImage->setAlignment(Qt::AlignCenter);
    mine->addWidget(deviceImage, 0, Qt::AlignTop);

    auto* details = new QVBoxLayout;
    details->setSpacing(10);
    deviceTypeLabel = makeLabel(myDeviceView, 22, true, MainTagBtn::accent());
    pathLabel = makeLabel(myDeviceView, 14, false, ControlStyle::darkText());
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    spaceLabel = makeLabel(myDeviceView, 14, false, ControlStyle::darkText());
    progress = new QProgressBar(myDeviceView);
    progress->setRange(0, 100);
    progress->setTextVisible(false);
    progress->setFixedHeight(12);
    progress->setStyleSheet(QStringLiteral("QProgressBar { background: %1; border: none; border-radius: 6px; }"
                                           "QProgressBar::chunk { background: %2; border-radius: 6px; }")
                                .arg(ControlStyle::css(ControlStyle::lightFace()), ControlStyle::css(MainTagBtn::accent())));
    percentLabel = makeLabel(myDeviceView, 13, false, ControlStyle::greyText());
    NFTSLabel = makeLabel(myDeviceView, 13, false, MainTagBtn::accent());
    NFTSLabel->setText(tr("This volume is formatted as NTFS and may be read-only on this computer."));
    NFTSLabel->setWordWrap(true);
    NFTSLabel->hide();
    details->addWidget(deviceTypeLabel);
    details->addWidget(pathLabel);
    details->addWidget(spaceLabel);
    details->addWidget(progress);
    details->addWidget(percentLabel);
    details->addWidget(NFTSLabel);
    details->addSpacing(16);
    auto* actions = new QHBoxLayout;
    actions->setSpacing(16);
    openBtn = new customizeButton(tr("Open"), myDeviceView);
    ejectBtn = new customizeButton(tr("Eject"), myDeviceView);
    ejectBtn->setIcon(ZorviImages::icon(QStringLiteral("ic_main_eject")));
    for (QPushButton* b : {openBtn, ejectBtn})
        b->setFixedSize(120, 32);
    actions->addWidget(openBtn);
    actions->addWidget(ejectBtn);
    actions->addStretch(1);
    details->addLayout(actions);
    details->addStretch(1);
    mine->addLayout(details, 1);
    root->addWidget(myDeviceView, 1);

    connect(reloadBtn, &QPushButton::clicked, this, &MyDeviceViewController::reload);
    connect(openBtn, &QPushButton::clicked, this, &MyDeviceViewController::openFolder);
    connect(ejectBtn, &QPushButton::clicked, this, &MyDeviceViewController::ejectDevice);
    connect(discovery_, &DriveDiscovery::busyChanged, this, &MyDeviceViewController::setBusyLook);
    connect(discovery_, &DriveDiscovery::finished, this, &MyDeviceViewController::rebuildDeviceTabs);
    connect(volumeEjector_, &VolumeEjector::finished, this,
            [this](const QString& node, bool ok, const QString& error) { ejectFinished(node, ok, error); });

    rebuildDeviceTabs();

    ControlNames::apply({
        { noneDeviceView, "noneDeviceView" },
        { myDeviceView, "myDeviceView" },
        { noneDeviceTitle, "noneDeviceTitle" },
        { pathLabel, "pathLabel" },
        { spaceLabel, "spaceLabel" },
        { percentLabel, "percentLabel" },
        { deviceTypeLabel, "deviceTypeLabel" },
        { progress, "progress" },
        { loadingProgress, "loadingProgress" },
        { reloadBtn, "reloadBtn" },
        { NFTSLabel, "NFTSLabel" },
        { stackView, "stackView" },
        { openBtn, "openBtn" },
        { ejectBtn, "ejectBtn" }
    });
}

QString MyDeviceViewController::deviceImageName() const
{
    return deviceImage->objectName();
}

void MyDeviceViewController::embed(QObject* mainWindow)
{
    mainWindow_ = mainWindow;
    passToMainDelegate = dynamic_cast<MyDeviceSendTaskDelegate*>(mainWindow);
}

MyDeviceSendTaskDelegate* MyDeviceViewController::mainDelegate() const
{
    return mainWindow_ ? passToMainDelegate : nullptr;
}

void MyDeviceViewController::setSystemRoots(const SystemRoots& roots)
{
    discovery_->setSystemRoots(roots);
    volumeEjector_->setSystemRoots(roots);
}

void MyDeviceViewController::reload()
{
    // The Reload button carries tag 0: a short list is retried.
    refreshDeviceList(0);
}

void MyDeviceViewController::setBusyLook(bool busy)
{
    reloadBtn->setVisible(!busy);
    loadingProgress->setVisible(busy);
}

void MyDeviceViewController::rebuildDeviceTabs()
{
    for (MainTagBtn* tab : std::as_const(tabs_)) {
        tabLayout_->removeWidget(tab);
        tab->deleteLater();
    }
    tabs_.clear();

    const QList<DriveDiscovery::Record> records = discovery_->deviceArray();
    noneDeviceView->setVisible(records.isEmpty());
    myDeviceView->setVisible(!records.isEmpty());
    if (MyDeviceSendTaskDelegate* d = mainDelegate()) {
        if (records.isEmpty()) {
            d->setTabsEnabled(false);
            d->selectMyDeviceTab();
        } else {
            d->setTabsEnabled(true);
        }
    }

    for (const DriveDiscovery::Record& record : records) {
        auto* tab = new MainTagBtn(record.value(QStringLiteral("path")), stackView);
        tabLayout_->addWidget(tab);
        tabs_ << tab;
        connect(tab, &QPushButton::clicked, this, [this, tab] { showSelectedDevice(tab); });
    }
    if (!tabs_.isEmpty())
        showSelectedDevice(tabs_.first());
    else {
        currentDeviceID_.clear();
        currentMountPoint_.clear();
    }
    setBusyLook(discovery_->isBusy());
}

void MyDeviceViewController::showSelectedDevice(MainTagBtn* sender)
{
    int selected = 0;
    for (int i = 0; i < tabs_.size(); ++i) {
        const bool isSender = tabs_.at(i) == sender;
        tabs_.at(i)->setSelectedLook(isSender);
        if (isSender)
            selected = i;
    }
    if (!tabs_.isEmpty() && tabs_.at(selected) != sender)
        tabs_.first()->setSelectedLook(true);

    const QList<DriveDiscovery::Record> records = discovery_->deviceArray();
    if (selected >= records.size())
        return;
    const DriveDiscovery::Record record = records.at(selected);
    currentDeviceID_ = record.value(QStringLiteral("id"));
    currentMountPoint_ = record.value(QStringLiteral("mountPoint"));
    pathLabel->setText(currentMountPoint_);
    spaceLabel->setText(QStringLiteral("%1 %2 / %3")
                            .arg(tr("Free Space"), record.value(QStringLiteral("free")),
                                 record.value(QStringLiteral("total"))));
    percentLabel->setText(record.value(QStringLiteral("remain")));
    const QString manu = record.value(QStringLiteral("manu"));
    deviceTypeLabel->setText(manu.isEmpty() ? QStringLiteral("Morvantek") : manu);
    progress->setValue(qBound(0, qRound(percentValue(percentLabel->text())), 100));
    const QString image = MakerProducts::kdWords().contains(deviceTypeLabel->text()) ? QStringLiteral("img_device_KD")
                                                                                     : QStringLiteral("img_device_QV_SSD");
    deviceImage->setPixmap(ZorviImages::pixmap(image, deviceImage->size()));
    deviceImage->setObjectName(image);
    NFTSLabel->setVisible(record.value(QStringLiteral("system")).toUpper().contains(QLatin1String("NTFS")));
    ejectBtn->setEnabled(!ejecting_);
}

void MyDeviceViewController::openFolder()
{
    if (currentMountPoint_.isEmpty())
        return;
    const bool opened = urlOpener_ ? urlOpener_(QUrl::fromLocalFile(currentMountPoint_))
                                   : QDesktopServices::openUrl(QUrl::fromLocalFile(currentMountPoint_));
    // Without a file manager nothing else would show that Open did anything.
    if (!opened)
        UtilityFunctions::showMessageView(this, tr("Error"), QStringLiteral("ic_log_fail"),
                                          tr("This folder could not be opened. Is a file manager installed?\n%1")
                                              .arg(currentMountPoint_),
                                          false);
}

void MyDeviceViewController::ejectDevice()
{
    if (currentDeviceID_.isEmpty() || ejecting_)
        return;
    ejecting_ = true;
    ejectBtn->setEnabled(false);
    if (ejector_) {
        QPointer<MyDeviceViewController> self(this);
        const QString id = currentDeviceID_;
        ejector_(id, [self, id](bool ok, const QString& error) {
            if (self)
                self->ejectFinished(id, ok, error);
        });
    } else {
        volumeEjector_->eject(currentDeviceID_);
    }
}

void MyDeviceViewController::ejectFinished(const QString& deviceId, bool ok, const QString& errorText)
{
    Q_UNUSED(deviceId);
    ejecting_ = false;
    ejectBtn->setEnabled(true);
    if (ok) {
        refreshDeviceList(DriveDiscovery::kNoRetryTag);
        return;
    }
    UtilityFunctions::showMessageView(this, tr("Information"), QStringLiteral("ic_log_fail"),
                                      errorText.isEmpty() ? tr("The drive could not be ejected.") : errorText, false);
}
