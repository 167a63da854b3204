#pragma once

#include "DeviceListPage.h"
#include "DriveDiscovery.h"
#include "EmbeddedPage.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>

class MainTagBtn;
class MyDeviceSendTaskDelegate;
class ProgressRing;
class QLabel;
class QProgressBar;
class QPushButton;
class QHBoxLayout;
class QUrl;
class VolumeEjector;

// The "MYDEVICE" page: one tab per mounted volume of the maker's drives, with its space,
// manufacturer and picture, and buttons to reload, open and eject.
class MyDeviceViewController : public QWidget, public DeviceListPage, public EmbeddedPage {
    Q_OBJECT
public:
    // Answers done(ok, errorText) on the GUI thread, never before it returns.
    using Ejector = std::function<void(const QString& deviceId, std::function<void(bool, const QString&)> done)>;

    explicit MyDeviceViewController(QWidget* parent = nullptr);

    // EmbeddedPage
    void embed(QObject* mainWindow) override;
    // DeviceListPage
    void setDeviceShouldHave(int count) override { discovery_->setDeviceShouldHave(count); }
    void refreshDeviceList(int senderTag) override { discovery_->refresh(senderTag); }
    QList<QMap<QString, QString>> deviceArray() const override { return discovery_->deviceArray(); }

    DriveDiscovery* discovery() const { return discovery_; }
    void setSystemRoots(const SystemRoots& roots);
    // Tests replace the UDisks2 ejector.
    void setEjector(Ejector ejector) { ejector_ = std::move(ejector); }
    // Opens a folder in the file manager; false when nothing could. Default QDesktopServices.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { urlOpener_ = std::move(opener); }

    QList<MainTagBtn*> tabs() const { return tabs_; }
    QString currentDeviceID() const { return currentDeviceID_; }
    QString currentMountPoint() const { return currentMountPoint_; }
    // The picture of the drive model shown, by its image name.
    QString deviceImageName() const;

    MyDeviceSendTaskDelegate* passToMainDelegate = nullptr;

public Q_SLOTS:
    void reload();
    void openFolder();
    void ejectDevice();
    void rebuildDeviceTabs();
    void showSelectedDevice(MainTagBtn* sender);

private:
    QWidget* noneDeviceView = nullptr;
    QWidget* myDeviceView = nullptr;
    QLabel* noneDeviceTitle = nullptr;
    QLabel* pathLabel = nullptr;
    QLabel* spaceLabel = nullptr;
    QLabel* percentLabel = nullptr;
    QLabel* deviceTypeLabel = nullptr;
    QProgressBar* progress = nullptr; // used share, 0..100
    ProgressRing* loadingProgress = nullptr;
    QPushButton* reloadBtn = nullptr;
    QLabel* NFTSLabel = nullptr;
    QLabel* deviceImage = nullptr;
    QWidget* stackView = nullptr;
    QPushButton* openBtn = nullptr;
    QPushButton* ejectBtn = nullptr;

    void setBusyLook(bool busy);
    void ejectFinished(const QString& deviceId, bool ok, const QString& errorText);
    MyDeviceSendTaskDelegate* mainDelegate() const;

    DriveDiscovery* discovery_ = nullptr;
    VolumeEjector* volumeEjector_ = nullptr;
    Ejector ejector_;
    std::function<bool(const QUrl&)> urlOpener_;
    QHBoxLayout* tabLayout_ = nullptr;
    QList<MainTagBtn*> tabs_;
    QPointer<QObject> mainWindow_;
    QString currentDeviceID_;
    QString currentMountPoint_;
    bool ejecting_ = false;
};
