#include "AppDelegate.h"

#include "AboutView.h"
#include "AppcastFile.h"
#include "ApplicationMenu.h"
#include "CloudSessions.h"
#include "GoogleReporter.h"
#include "NullCloudSessions.h"
#include "UpdatePromptDialog.h"
#include "Updater.h"
#include "UpdaterEvent.h"
#include "VersionCheck.h"
#include "VersionRequest.h"
#include "ViewController.h"
#include "WindowFactory.h"
#include "ZorviImages.h"
#include "eulaView.h"
#include "messageView.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLoggingCategory>
#include <QMessageAuthenticationCode>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUuid>
#include <QWidget>

Q_LOGGING_CATEGORY(lcApp, "zorvi.app", QtInfoMsg)

namespace {
constexpr const char* kSite = "https://www.morvantek.com";
// Keys the machine-id hash to this program, so the id cannot be matched with other programs'.
constexpr const char* kUserIdKey = "com.morvantek.Zorvi.userId";
constexpr const char* kUpdateFailureMessage = "Get the latest software version from Morvantek website.";

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

class AnswerRelay : public messageViewDelegate {
public:
    explicit AnswerRelay(std::function<void(int)> answer)
        : answer_(std::move(answer))
    {
    }
    void btnClicked(int index) override { answer_(index); }

private:
    std::function<void(int)> answer_;
};
} // namespace

AppDelegate::AppDelegate(LaunchServices services, QObject* parent)
    : QObject(parent)
    , services_(std::move(services))
    , nullCloud_(std::make_unique<NullCloudSessions>())
    , appcastDirectory_(AppcastFile::defaultDirectory())
    , versionRequest_(new VersionRequest(nullptr, this))
    , updater_(new Updater(this))
    , prompt_(std::make_unique<UpdatePromptDialog>())
    , menu_(std::make_unique<ApplicationMenu>())
{
    cloud_ = nullCloud_.get();
    updater_->setPrompt(prompt_.get());
    if (services_.openUrl)
        updater_->setUrlOpener(services_.openUrl);
    connect(updater_, &Updater::updaterEvent, this, &AppDelegate::handleUpdaterEvent);

    connect(menu_->showAction, &QAction::triggered, this, &AppDelegate::showMainWindow);
    connect(menu_->autoStartMenuItem, &QAction::triggered, this, &AppDelegate::autoStartupClicked);
    connect(menu_->helpAction, &QAction::triggered, this, &AppDelegate::showHelp);
    connect(menu_->checkUpdatesAction, &QAction::triggered, this, &AppDelegate::versionChecking);
    connect(menu_->aboutAction, &QAction::triggered, this, &AppDelegate::showAbout);
    connect(menu_->quitAction, &QAction::triggered, this, &AppDelegate::requestQuit);
}

AppDelegate::~AppDelegate()
{
    if (mainWindow_)
        mainWindow_->removeEventFilter(this);
    delete trayIcon_;
}

eulaView* AppDelegate::currentEula() const
{
    return eula_;
}

AboutView* AppDelegate::currentAbout() const
{
    return about_;
}

messageView* AppDelegate::currentQuitQuestion() const
{
    return quitQuestion_;
}

void AppDelegate::setCloudSessions(CloudSessions* sessions)
{
    cloud_ = sessions ? sessions : nullCloud_.get();
}

void AppDelegate::applicationDidFinishLaunching(QWidget* mainWindow)
{
    if (launched_)
        return;
    launched_ = true;
    mainWindow_ = mainWindow;
    prompt_->setParentWidget(mainWindow);
    if (auto* window = qobject_cast<ViewController*>(mainWindow)) {
        QPointer<ViewController> vc(window);
        if (!runsInProgress)
            runsInProgress = [vc] { return vc && vc->hasRunningWork(); };
        if (!stopRuns)
            stopRuns = [vc] {
                if (vc)
                    vc->stopAllRuns();
            };
        if (!discardLaunchFiles)
            discardLaunchFiles = [vc] {
                if (vc)
                    vc->launchFootprint.takeBack();
            };
    }

    // 1. cloud clients before any cloud page runs
    cloud_->setUp();
    // 2-7. version request; the answer arrives later on the GUI thread
    startVersionCheck();
    // 8. crash reporting
    if (services_.startCrashReporting)
        services_.startCrashReporting(services_.locale ? services_.locale() : QLocale());
    // 9. user id
    setUpUserId();
    // 10. start at login
    setUpLoginItem();

    QApplication::setQuitOnLastWindowClosed(false);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            applicationDidBecomeActive();
    });
    setUpTray();

    if (mainWindow_) {
        // The menu's shortcuts work in the main window too; without a tray the menu itself is
        // the window's context menu, as nothing else would reach it.
        if (trayIcon_) {
            mainWindow_->addAction(menu_->helpAction);
            mainWindow_->addAction(menu_->quitAction);
        } else {
            for (QAction* action : menu_->actions())
                if (action != menu_->showAction)
                    mainWindow_->addAction(action);
            mainWindow_->setContextMenuPolicy(Qt::ActionsContextMenu);
        }
        mainWindow_->installEventFilter(this);
        if (mainWindow_->isVisible())
            mainViewDidAppear();
    }
}

void AppDelegate::startVersionCheck()
{
    if (services_.sendVersionRequest) {
        services_.sendVersionRequest();
        return;
    }
    // The request and the check print their own failures.
    versionCheck_ = new VersionCheck(versionRequest_, updater_, AppcastFile(appcastDirectory_), this);
    versionCheck_->start();
}

QString AppDelegate::userIdFor(const QByteArray& machineId)
{
    const QByteArray id = machineId.trimmed();
    if (id.isEmpty())
        return QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray digest = QMessageAuthenticationCode::hash(id, QByteArray(kUserIdKey), QCryptographicHash::Sha256);
    return QUuid::fromRfc4122(digest.left(16)).toString(QUuid::WithoutBraces);
}

void AppDelegate::setUpUserId()
{
    QSettings settings;
    QString id = settings.value(QString::fromLatin1(UserIdKey)).toString();
    if (id.isEmpty()) {
        id = userIdFor(services_.machineId ? services_.machineId() : QByteArray());
        settings.setValue(QString::fromLatin1(UserIdKey), id);
    }
    if (services_.setUserId)
        services_.setUserId(id);
}

void AppDelegate::setUpLoginItem()
{
    QSettings settings;
    const QVariant stored = settings.value(QString::fromLatin1(AutoStartKey));
    // Absent means on; the launch never writes the key.
    const bool enable = !stored.isValid() || stored.toBool();
    const bool wasEnabled = services_.isLoginItemEnabled && services_.isLoginItemEnabled();
    QString error;
    const bool ok = services_.setLoginItemEnabled && services_.setLoginItemEnabled(enable, &error);
    qCDebug(lcApp).noquote() << boolText(ok);
    loginItemWritten_ = ok && enable && !wasEnabled;
    bool state = enable;
    if (!ok) {
        // The menu shows what is really set up, not what was asked for.
        state = services_.isLoginItemEnabled ? services_.isLoginItemEnabled() : !enable;
        qCWarning(lcApp).noquote() << "The login item could not be changed:" << error;
    }
    autoStartState_ = state;
    menu_->autoStartMenuItem->setChecked(state);
}

void AppDelegate::autoStartupClicked()
{
    // From our own record: the action has already toggled itself when the menu calls this.
    const bool oldState = autoStartState_;
    const bool enable = !oldState;
    QString error;
    const bool ok = services_.setLoginItemEnabled && services_.setLoginItemEnabled(enable, &error);
    qCDebug(lcApp).noquote() << boolText(ok);
    if (!ok) {
        // Neither the menu nor "autoStart" may claim a change that did not happen.
        menu_->autoStartMenuItem->setChecked(oldState);
        showLoginItemFailure(error);
        return;
    }
    loginItemWritten_ = enable && (loginItemWritten_ || !oldState);
    autoStartState_ = enable;
    menu_->autoStartMenuItem->setChecked(enable);
    QSettings().setValue(QString::fromLatin1(AutoStartKey), enable);
}

void AppDelegate::showLoginItemFailure(const QString& error)
{
    messageView* view = WindowFactory::createAs<messageView>(QStringLiteral("MessageView"), mainWindow_);
    if (!view)
        return;
    view->titleString = tr("Start at Login");
    view->imagePath = QStringLiteral("ic_log_fail");
    view->statusString = error.isEmpty()
        ? tr("Zorvi could not change whether it starts at login.")
        : tr("Zorvi could not change whether it starts at login.\n%1").arg(error);
    view->btnClickedDelegate = nullptr;
    view->present();
}

QUrl AppDelegate::helpUrl(const QLocale& locale)
{
    QString code = VersionRequest::languageCode(locale).toUpper();
    if (code == QLatin1String("ZH"))
        code = locale.script() == QLocale::SimplifiedHanScript ? QStringLiteral("CN") : QStringLiteral("TW");
    const QUrl url(QString::fromLatin1(kSite) + QStringLiteral("/Manual/Zorvi/") + code + QLatin1Char('/'));
    return url.isValid() ? url : QUrl();
}

QUrl AppDelegate::supportUrl()
{
    return QUrl(QString::fromLatin1(kSite) + QStringLiteral("/Support/Software-1/"));
}

void AppDelegate::showHelp()
{
    const QUrl url = helpUrl(services_.locale ? services_.locale() : QLocale());
    if (url.isValid())
        openOrTell(url);
}

void AppDelegate::openOrTell(const QUrl& url)
{
    if (!services_.openUrl || services_.openUrl(url))
        return;
    // Without a browser nothing else would show that the click did anything.
    messageView* view = WindowFactory::createAs<messageView>(QStringLiteral("MessageView"), mainWindow_);
    if (!view)
        return;
    view->titleString = tr("Error");
    view->imagePath = QStringLiteral("ic_log_fail");
    view->statusString = tr("This address could not be opened. Is a web browser installed?\n%1")
                             .arg(url.toDisplayString());
    view->btnClickedDelegate = nullptr;
    view->present();
}

void AppDelegate::versionChecking()
{
    updater_->checkForUpdates();
}

void AppDelegate::showAbout()
{
    if (about_) {
        about_->raise();
        about_->activateWindow();
        return;
    }
    about_ = new AboutView(mainWindow_);
    about_->present();
}

void AppDelegate::handleUpdaterEvent(const UpdaterEvent& event)
{
    // The updater has printed the event's line already.
    if (event.reportsAnalytics())
        GoogleReporter::shared().event(event.category, event.action, event.label);
    if (event.kind == UpdaterEvent::Kind::FailedToDownloadUpdate)
        showUpdateFailureNotice();
}

void AppDelegate::showUpdateFailureNotice()
{
    if (!mainWindow_ || quitting_)
        return;
    messageView* view = WindowFactory::createAs<messageView>(QStringLiteral("MessageView"), mainWindow_);
    if (!view)
        return;
    view->statusString = tr(kUpdateFailureMessage);
    view->showSecondBtn = true;
    view->imagePath = QStringLiteral("ic_log_lable");
    view->btnClickedDelegate = this;
    view->present();
}

void AppDelegate::btnClicked(int index)
{
    if (index == 0)
        openOrTell(supportUrl());
}

void AppDelegate::setUpTray()
{
    if (!services_.trayAvailable || !services_.trayAvailable())
        return;
    trayIcon_ = new QSystemTrayIcon(ZorviImages::icon(QStringLiteral("ic_log_backup")));
    trayIcon_->setToolTip(QStringLiteral("Zorvi"));
    trayIcon_->setContextMenu(menu_.get());
    connect(trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            showMainWindow();
    });
    trayIcon_->show();
}

bool AppDelegate::applicationShouldHandleReopen()
{
    if (!mainWindow_)
        return true;
    if (!mainWindow_->isVisible() || mainWindow_->isMinimized())
        mainWindow_->showNormal();
    mainWindow_->raise();
    mainWindow_->activateWindow();
    return true;
}

void AppDelegate::mainViewDidAppear()
{
    if (eula_ || eulaPending_ || quitting_)
        return;
    QSettings settings;
    if (eulaView::isAccepted(settings))
        return;
    // After the show has finished, so the agreement opens over the visible window.
    eulaPending_ = true;
    QTimer::singleShot(0, this, [this] {
        eulaPending_ = false;
        QSettings settings;
        if (eula_ || quitting_ || eulaView::isAccepted(settings))
            return;
        eula_ = new eulaView(mainWindow_);
        const std::function<void()> quit = services_.quit ? services_.quit : eula_->quitProgram;
        QPointer<AppDelegate> self(this);
        eula_->quitProgram = [self, quit] {
            if (self)
                self->discardUnacceptedLaunch();
            if (quit)
                quit();
        };
        eula_->present();
    });
}

void AppDelegate::discardUnacceptedLaunch()
{
    QSettings settings;
    if (eulaView::isAccepted(settings))
        return;
    if (loginItemWritten_ && services_.setLoginItemEnabled) {
        QString error;
        if (services_.setLoginItemEnabled(false, &error))
            loginItemWritten_ = false;
        else
            qCWarning(lcApp).noquote() << "The login item could not be removed:" << error;
    }
    // Nothing has ever been accepted, so every stored value came from an unaccepted run.
    settings.clear();
    settings.sync();
    if (discardLaunchFiles)
        discardLaunchFiles();
}

void AppDelegate::applicationDidBecomeActive()
{
    GoogleReporter::shared().session(true);
}

void AppDelegate::applicationDidHide()
{
    GoogleReporter::shared().session(false);
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mainWindow_) {
        switch (event->type()) {
        case QEvent::Show:
            mainViewDidAppear();
            break;
        case QEvent::Hide:
            applicationDidHide();
            break;
        case QEvent::Close:
            if (!trayIcon_ && !quitting_) {
                // Nothing could bring a hidden window back: closing it is quitting.
                event->ignore();
                requestQuit();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::requestQuit()
{
    if (quitting_)
        return;
    if (quitQuestion_ && quitQuestion_->isVisible()) {
        quitQuestion_->raise();
        quitQuestion_->activateWindow();
        return;
    }
    if (runsInProgress && runsInProgress()) {
        askQuitDuringRun();
        return;
    }
    quitNow();
}

void AppDelegate::askQuitDuringRun()
{
    messageView* view = WindowFactory::createAs<messageView>(QStringLiteral("MessageView"), mainWindow_);
    if (!view) {
        // Nobody to ask: the user asked to quit.
        if (stopRuns)
            stopRuns();
        quitNow();
        return;
    }
    QPointer<AppDelegate> self(this);
    quitAnswer_ = std::make_unique<AnswerRelay>([self](int index) {
        if (!self || index != 0)
            return;
        if (self->stopRuns)
            self->stopRuns();
        self->quitNow();
    });
    view->titleString = tr("Quit Zorvi");
    view->imagePath = QStringLiteral("ic_log_info");
    view->statusString = tr("A backup or another task is still running. Quit Zorvi and stop it?");
    view->showSecondBtn = true;
    view->mainBtnTitle = tr("Quit");
    view->closingCancels = true; // Esc keeps the run going
    view->btnClickedDelegate = quitAnswer_.get();
    quitQuestion_ = view;
    view->present();
}

void AppDelegate::quitNow()
{
    if (quitting_)
        return;
    quitting_ = true;
    QPointer<AppDelegate> self(this);
    signOutCloudServices([self] {
        if (!self)
            return;
        self->printTerminate();
        if (self->services_.quit)
            self->services_.quit();
    });
}

void AppDelegate::applicationWillTerminate()
{
    quitting_ = true;
    if (!signOutStarted_)
        signOutCloudServices(nullptr);
    printTerminate();
}

void AppDelegate::printTerminate()
{
    if (terminatePrinted_)
        return;
    terminatePrinted_ = true;
    qCInfo(lcApp) << "terminate";
}

void AppDelegate::signOutCloudServices(std::function<void()> done)
{
    signOutStarted_ = true;
    QSettings settings;
    const auto flag = [&settings](const char* key) { return settings.value(QString::fromLatin1(key), false).toBool(); };

    // The Cloud page's own sign-outs, which the main window runs at termination, report these.
    GoogleReporter::shared().event(QStringLiteral("Cloud Action"), QStringLiteral("Log out Google Drive"), QString());
    GoogleReporter::shared().event(QStringLiteral("Cloud Action"), QStringLiteral("Log out Dropbox"), QString());

    if (flag(DropboxSignedInKey)) {
        cloud_->unlinkDropbox();
        settings.setValue(QString::fromLatin1(DropboxSignedInKey), false);
        const QUrl page = cloud_->dropboxLogoutUrl();
        if (services_.openUrl && page.isValid())
            services_.openUrl(page);
    }

    // One count for the starting itself, so a sign-out answering at once cannot finish early.
    auto pending = std::make_shared<int>(1);
    auto finished = std::make_shared<bool>(false);
    auto finish = [pending, finished, done] {
        if (*finished)
            return;
        *finished = true;
        if (done)
            done();
    };
    const auto signedOut = [pending, finish](const char* key) {
        return [pending, finish, key](bool ok) {
            // Only a finished sign-out clears its flag; one that timed out is tried next time.
            if (ok)
                QSettings().setValue(QString::fromLatin1(key), false);
            if (--*pending == 0)
                finish();
        };
    };

    if (flag(GoogleSignedInKey)) {
        ++*pending;
        cloud_->logoutGoogleDrive(signedOut(GoogleSignedInKey));
    }
    if (flag(OneDriveSignedInKey)) {
        ++*pending;
        cloud_->logoutOneDrive(signedOut(OneDriveSignedInKey));
    }
    if (--*pending == 0) {
        finish();
        return;
    }
    QTimer::singleShot(SignOutTimeoutMs, this, finish);
}
