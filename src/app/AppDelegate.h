#pragma once

#include "LaunchServices.h"
#include "messageViewDelegate.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class AboutView;
class ApplicationMenu;
class CloudSessions;
class QSystemTrayIcon;
class QWidget;
class UpdatePromptDialog;
class Updater;
class VersionCheck;
class VersionRequest;
class eulaView;
class messageView;
struct UpdaterEvent;

// The application's delegate: the launch sequence, the application menu and tray icon, the
// updater's events, the end-user agreement, and the cloud sign-outs at quit. Lives for the
// whole process, on the GUI thread.
//
// What main does (after QApplication and before exec()):
//
//     SingleInstance instance;
//     instance.claim();
//     if (instance.shouldExit())
//         return 0;                                    // the running Zorvi was asked to show itself
//     ... create and show the main window ...
//     AppDelegate delegate;                            // delegate.setCloudSessions(...) once they exist
//     delegate.applicationDidFinishLaunching(mainWindow);
//     QObject::connect(&instance, &SingleInstance::activateRequested,
//                      &delegate, &AppDelegate::showMainWindow);
//     return app.exec();
//
// applicationDidFinishLaunching() turns quitting on the last closed window off, adds the tray
// icon (when the desktop has a tray) and watches the main window's show, hide and close events:
// every show presents the agreement while "eulaAccepted" is false. Declining it takes back what
// the launch left behind: the autostart entry it wrote and every stored setting. Without a tray there would be
// no way back to a closed window, so closing the main window then quits (with the sign-outs).
// A main window with its own show hook may call mainViewDidAppear() as well: while an agreement
// is pending or open, further calls do nothing.
class AppDelegate : public QObject, public messageViewDelegate {
    Q_OBJECT
public:
    static constexpr const char* AutoStartKey = "autoStart";
    static constexpr const char* UserIdKey = "userId";
    static constexpr const char* DropboxSignedInKey = "hasDropboxLogedIn";
    static constexpr const char* GoogleSignedInKey = "hasGoogleLogedIn";
    static constexpr const char* OneDriveSignedInKey = "hasOneDriveLogedIn";
    // The longest quit waits for network sign-outs.
    static constexpr int SignOutTimeoutMs = 2000;

    explicit AppDelegate(LaunchServices services = LaunchServices::system(), QObject* parent = nullptr);
    ~AppDelegate() override;

    // Not owned; must outlive the delegate. Default: nothing signed in, nothing to set up.
    void setCloudSessions(CloudSessions* sessions);
    // Where "appcast.xml" is written; default the application-data folder. Before launching.
    void setAppcastDirectory(const QString& directory) { appcastDirectory_ = directory; }

    // The launch sequence; `mainWindow` is the application's main window (not owned).
    void applicationDidFinishLaunching(QWidget* mainWindow);

    // Whether a run is going on, and how to stop every run. Each one left empty is taken from
    // the main window at launch when it is a ViewController.
    std::function<bool()> runsInProgress;
    std::function<void()> stopRuns;
    // Takes back what the launch wrote into the user's folders, when the licence is declined.
    std::function<void()> discardLaunchFiles;

    VersionRequest* versionRequest() const { return versionRequest_; }
    Updater* updater() const { return updater_; }
    ApplicationMenu* menu() const { return menu_.get(); }
    QSystemTrayIcon* trayIcon() const { return trayIcon_; }
    eulaView* currentEula() const;
    AboutView* currentAbout() const;
    messageView* currentQuitQuestion() const;

    // "https://<site>/Manual/Zorvi/<code>/": the locale's language upper-cased ("EN" when it
    // has none); Chinese gives "CN" for the simplified script and "TW" otherwise.
    static QUrl helpUrl(const QLocale& locale);
    static QUrl supportUrl();
    // A stable id that does not reveal the machine id; random when there is none.
    static QString userIdFor(const QByteArray& machineId);

public Q_SLOTS:
    // Menu actions.
    void autoStartupClicked();
    void showHelp();
    void versionChecking();
    void showAbout();
    // Signs out (waiting at most SignOutTimeoutMs), prints "terminate" and quits. During a run
    // the user is asked first; agreeing stops the runs.
    void requestQuit();

    // Brings the main window back (tray click, a second start). Always true.
    bool applicationShouldHandleReopen();
    void showMainWindow() { applicationShouldHandleReopen(); }
    // Presents the agreement while it is not accepted; called on every show of the main window.
    void mainViewDidAppear();

    void applicationDidBecomeActive();
    void applicationDidHide();
    // Last chance at quit when requestQuit() was not the way out: sign-outs start, nothing waits.
    void applicationWillTerminate();

    void handleUpdaterEvent(const UpdaterEvent& event);

public:
    // messageViewDelegate: the update-failure notice; 0 opens the support page.
    void btnClicked(int index) override;
    void deleteSourceFiles() override {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpLoginItem();
    void setUpUserId();
    void startVersionCheck();
    void setUpTray();
    void signOutCloudServices(std::function<void()> done);
    void printTerminate();
    void showLoginItemFailure(const QString& error);
    void showUpdateFailureNotice();
    void openOrTell(const QUrl& url);
    void askQuitDuringRun();
    void quitNow();
    void discardUnacceptedLaunch();

    LaunchServices services_;
    CloudSessions* cloud_;
    std::unique_ptr<CloudSessions> nullCloud_;
    QString appcastDirectory_;
    QPointer<QWidget> mainWindow_;
    VersionRequest* versionRequest_;
    Updater* updater_;
    VersionCheck* versionCheck_ = nullptr;
    std::unique_ptr<UpdatePromptDialog> prompt_;
    std::unique_ptr<ApplicationMenu> menu_;
    QSystemTrayIcon* trayIcon_ = nullptr;
    QPointer<eulaView> eula_;
    QPointer<AboutView> about_;
    QPointer<messageView> quitQuestion_;
    std::unique_ptr<messageViewDelegate> quitAnswer_;
    bool autoStartState_ = false; // what the login item is set to, as far as we know
    bool loginItemWritten_ = false; // this process turned the login item on
    bool eulaPending_ = false;
    bool launched_ = false;
    bool quitting_ = false;
    bool signOutStarted_ = false;
    bool terminatePrinted_ = false;
};
