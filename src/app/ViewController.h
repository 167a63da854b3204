#pragma once

#include "BackupSendTaskDelegate.h"
#include "DecryptDelegate.h"
#include "EncryptDelegate.h"
#include "MyDeviceSendTaskDelegate.h"
#include "OtbSendTaskDelegate.h"
#include "ProgressViewDelegate.h"
#include "RestoreSendTaskDelegate.h"
#include "SecurityRunHost.h"
#include "TaskController.h"
#include "TaskRunWindows.h"
#include "cloudDelegate.h"
#include "cloudProgressDelegate.h"
#include "messageViewDelegate.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "LaunchFootprint.h"

class DeviceListPage;
class MyTabButton;
class OtbButtonPage;
class OtbPoller;
class ProgressView;
class QDialog;
class QSettings;
class SecurityRuns;
class TrayNotifier;
class UsbDeviceTracker;
class UserNotifier;

// The main window's content (960x540): six tabs, the seven page containers, and the windows
// the task runs need. The task list and every task action live in `controller`; this class
// hands the pages' requests to it and shows what it asks for.
//
// Pages are made by WindowFactory from the segue identifiers (a placeholder when none is
// registered), then given this object through EmbeddedPage::embed; they find the delegate
// interfaces below by dynamic_cast.
class ViewController : public QWidget,
                       public TaskRunWindows,
                       public ProgressViewDelegate,
                       public messageViewDelegate,
                       public BackupSendTaskDelegate,
                       public RestoreSendTaskDelegate,
                       public DecryptDelegate,
                       public EncryptDelegate,
                       public SecurityRunHost,
                       public MyDeviceSendTaskDelegate,
                       public OtbSendTaskDelegate,
                       public cloudDelegate,
                       public cloudProgressDelegate {
    Q_OBJECT
public:
    static const QStringList& segueIdentifiers(); // container order: My Device ... Cloud progress
    static const QStringList& tabNames();         // "MYDEVICE" ... "CLOUDBACKUP"

    explicit ViewController(QWidget* parent = nullptr);
    ~ViewController() override;

    // Start-up: loads the task list (arming the schedules), re-maps the volumes (which saves),
    // configures analytics, makes the USB watcher, pushes the lists and shows My Device.
    // Set the hooks first.
    void start();

    TaskController controller;

    // --- hooks for the components built elsewhere; each may stay empty ---
    std::function<void(ViewController*)> createUsbWatcher;  // where start-up makes the USB watcher
    std::function<void(ViewController*)> presentEula;       // each showing while "eulaAccepted" is false
    // The password dialog of an encrypted restore, not yet shown: it must answer only
    // delegate->restoreWithPassword. Without it an encrypted restore cannot be started.
    std::function<QDialog*(QWidget* parent, DecryptDelegate* delegate)> makeRestorePasswordDialog;

    // The encrypt and decrypt runs of the Security page.
    SecurityRuns* securityRuns = nullptr;
    // Set by whoever makes the USB watcher; every showing reports its new product names.
    QPointer<UsbDeviceTracker> usbTracker;

    // While the licence has not been accepted, start() notes here what it may create in the
    // Documents folder (the task-list folder, its file and the model list), so a declined
    // licence can take it back.
    LaunchFootprint launchFootprint;

    // A run is going on: a progress window is open, or a scheduled backup works unseen.
    bool hasRunningWork() const;
    // Asks every run to stop, as quitting does.
    void stopAllRuns();
    // "Linux - " and the distribution's version, as "User OS Version" reports it.
    static QString osVersionText();
    // Notifications go to the desktop's service, else to the tray; tests put a fake here.
    void setUserNotifier(UserNotifier* notifier) { notifier_ = notifier; }

    // --- tabs and containers: each tab button goes by its tab's name, each container by its
    // segue identifier without "Segue" ---
    QString CurrentTabName;
    DeviceListPage* MyDeviceView = nullptr;
    OtbButtonPage* OtbView = nullptr;

    QWidget* page(const QString& segueIdentifier) const; // the page in that container
    QList<QWidget*> containers() const;

    void onMydeviceTabClicked();
    void onBackupTabClicked();
    void onRestoreTabClicked();
    void onSecurityTabClicked();
    void onOTBTabClicked();
    void onCloudTabClicked();
    void highlightTab(const QString& name);
    // Always true. The application counts as installed wherever it runs from, except from a
    // removable volume, where the user is told once per showing.
    bool checkAppLocation();

    // --- cloudProgressDelegate: the run screen's Done ---
    void showCloudPage() override;
    void resetCloudPage() override;
    // --- cloudDelegate: the Cloud page hands over a run; only the Cloud tab stays usable ---
    void startCloudDownload(const QList<CloudItemPtr>& items, const QString& destination,
                            CloudLoginService service) override;

    // --- one-touch button (ViewControllerOtb.cpp) ---
    // Polls the drives' buttons while one-touch backup is armed; tests give it a reader.
    OtbPoller* otbPoller = nullptr;
    void otbAction(const TaskInfoPtr& task, const QString& action) override;
    // A drive at this USB location reported a press (GUI thread).
    void runOtbBackup(quint32 locationId);
    bool isDeviceListed(quint32 locationId) const;
    // A USB device came or went: the slots may have moved, so polling waits for the page.
    void stopOtbPolling();

    // --- MyDeviceSendTaskDelegate ---
    void setTabsEnabled(bool enabled) override;
    void selectMyDeviceTab() override;

    // --- BackupSendTaskDelegate / RestoreSendTaskDelegate / DecryptDelegate ---
    void runTask(const TaskInfoPtr& task, const QString& action, bool useProgress) override;
    // Unbinds every task and stops polling (the bound task is about to be deleted).
    void disableOtb() override;
    void updateTaskVolumePaths(bool refresh) override;
    void driveIdentityGiven(const QString& root, const QString& identity) override;
    void restoreTask(const TaskInfoPtr& task, const QString& action) override;
    void decryptFile(const QString& path, const QString& password) override;
    void restoreWithPassword(const QString& password) override;
    void encryptFiles(const QString& path, const QString& password) override;

    // --- SecurityRunHost ---
    bool checkFilesInUse(const TaskInfoPtr& task) override;
    std::shared_ptr<ProgressReceiver> presentProgressSheet(const QString& title, const QString& imageName,
                                                           const QString& statusText) override;
    void dismissProgress() override;
    void askDeleteSource(const QString& statusText, messageViewDelegate* answer) override;
    void analyticsEvent(const QString& category, const QString& action) override;

    // --- messageViewDelegate: every message this window presents answers here ---
    void btnClicked(int index) override;

    // --- ProgressViewDelegate ---
    QSettings* defaults() override;
    void startOtbTimer(int intervalMs) override;
    void removePartialArchive() override;

    // --- TaskRunWindows ---
    std::shared_ptr<ProgressReceiver> presentProgressSheet(const TaskInfoPtr& task, const QString& title,
                                                           const QString& imageName, const QString& status) override;
    void dismissProgressSheet(const std::shared_ptr<ProgressReceiver>& sheet) override;
    void representProgressSheet(const std::shared_ptr<ProgressReceiver>& sheet) override;
    void showUserNotification(const QString& title, const QString& subtitle) override;
    void askRestorePassword(const TaskInfoPtr& task) override;
    void reportEvent(const QString& category, const QString& action, const QString& label) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    MyTabButton* MyDeviceTabBtn = nullptr;
    MyTabButton* BackupTabBtn = nullptr;
    MyTabButton* RestoreTabBtn = nullptr;
    MyTabButton* SecurityTabBtn = nullptr;
    MyTabButton* OTBTabBtn = nullptr;
    MyTabButton* CloudTabBtn = nullptr;
    QList<MyTabButton*> tabBtnList;
    QWidget* MyDeviceViewContainer = nullptr;
    QWidget* BackupViewContainer = nullptr;
    QWidget* RestoreViewContainer = nullptr;
    QWidget* SecurityViewContainer = nullptr;
    QWidget* OTBViewContainer = nullptr;
    QWidget* CloudViewContainer = nullptr;
    QWidget* CloudProgressViewContainer = nullptr;
    QWidget* ColorView = nullptr;      // the tab strip
    QWidget* titleColorView = nullptr; // the title bar
    QWidget* CloudView = nullptr;
    QWidget* CloudProgressView = nullptr;

    void buildLayout();
    void embedPages();
    void showOnly(QWidget* container);
    void selectTab(const QString& name, QWidget* container);
    void setTabButtonsEnabled(bool enabled);

    bool cloudRunHolds_ = false; // from a hand-over to the run screen until its Done
    std::unique_ptr<QSettings> defaults_;
    std::unique_ptr<TrayNotifier> tray_;
    UserNotifier* notifier_ = nullptr;
    QList<QWidget*> pages_;
    std::shared_ptr<ProgressReceiver> securitySheet_; // the progress window of the running Security run
    QList<QPointer<ProgressView>> progressWindows_;
};
