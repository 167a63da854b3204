#include "ViewController.h"

#include "CloudProgressViewController.h"
#include "CloudViewController.h"
#include "ControlStyle.h"
#include "DesktopNotifier.h"
#include "DeviceListPage.h"
#include "EmbeddedPage.h"
#include "ExternalVolumes.h"
#include "GoogleReporter.h"
#include "MyTabButton.h"
#include "OtbButtonPage.h"
#include "OtbPoller.h"
#include "PlaceholderPage.h"
#include "ProgressView.h"
#include "SecurityRuns.h"
#include "decPasswordView.h"
#include "messageView.h"
#include "TaskTablePage.h"
#include "TrayNotifier.h"
#include "UsbDeviceTracker.h"
#include "UtilityFunctions.h"
#include "WindowFactory.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QSysInfo>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcMainWindow, "zorvi.mainwindow", QtInfoMsg)

namespace {

QWidget* coloured(QWidget* parent, const QColor& colour)
{
    auto* w = new QWidget(parent);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
    return w;
}

} // namespace

const QStringList& ViewController::segueIdentifiers()
{
    static const QStringList ids { "MyDeviceContainerSegue", "BackupContainerSegue", "RestoreContainerSegue",
                                   "SecurityContainerSegue", "OTBContainerSegue", "CloudContainerSegue",
                                   "CloudProgressContainerSegue" };
    return ids;
}

const QStringList& ViewController::tabNames()
{
    static const QStringList names { "MYDEVICE", "BACKUP", "RESTORE", "SECURITY", "OTB", "CLOUDBACKUP" };
    return names;
}

ViewController::ViewController(QWidget* parent)
    : QWidget(parent)
    , defaults_(std::make_unique<QSettings>())
    , tray_(std::make_unique<TrayNotifier>())
{
    setObjectName(QStringLiteral("ViewController"));
    ControlStyle::applyApplicationFont();
    controller.taskInfoDelegate = &controller;
    controller.windows = this;
    controller.messagePresenter = this;

    auto* desktop = new DesktopNotifier(tray_.get(), QDBusConnection::sessionBus(), this);
    notifier_ = desktop;
    securityRuns = new SecurityRuns(this, this);
    otbPoller = new OtbPoller(this);
    connect(otbPoller, &OtbPoller::pressed, this, &ViewController::runOtbBackup);
    connect(otbPoller, &OtbPoller::accessProblemChanged, this, [this](const QString& text) {
        if (OtbView)
            OtbView->setOtbAccessProblem(text);
    });
    makeRestorePasswordDialog = [](QWidget* parent, DecryptDelegate* delegate) -> QDialog* {
        auto* dialog = new decPasswordView(parent);
        dialog->purpose = decPasswordView::Purpose::Restore;
        dialog->passDecInfoDelegate = delegate;
        return dialog;
    };

    buildLayout();
    if (isWindow()) {
        setWindowFlags(ControlStyle::fixedWindowFlags());
        // Placed by us, so the dialogs centred on it land where it really is.
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    // Off until the My Device page lists a drive (it calls setTabsEnabled).
    setTabButtonsEnabled(false);
    embedPages();
}

ViewController::~ViewController()
{
    // The pages go with the widgets; the controller must not reach them any more.
    controller.BackupView = controller.RestoreView = controller.OtbView = nullptr;
    OtbView = nullptr;
    otbPoller->stop();
    controller.windows = nullptr;
    controller.messagePresenter = &controller;
}

void ViewController::buildLayout()
{
    setFixedSize(960, 540);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(227, 227, 227));
    setPalette(pal);
    setAutoFillBackground(true);

    titleColorView = coloured(this, QColor(141, 141, 146));
    titleColorView->setObjectName(QStringLiteral("titleColorView"));
    titleColorView->setFixedHeight(56);
    auto* titleLogo = new QLabel(QStringLiteral("ZORVI"), titleColorView);
    titleLogo->setObjectName(QStringLiteral("titleLogo"));
    titleLogo->setFont(ControlStyle::font(24, true));
    titleLogo->setStyleSheet(QStringLiteral("color: white; letter-spacing: 3px;"));
    auto* titleLayout = new QHBoxLayout(titleColorView);
    titleLayout->setContentsMargins(24, 0, 24, 0);
    titleLayout->addWidget(titleLogo);
    titleLayout->addStretch();

    ColorView = coloured(this, MyTabButton::normalColor());
    ColorView->setObjectName(QStringLiteral("ColorView"));
    ColorView->setFixedWidth(190);
    auto* tabs = new QVBoxLayout(ColorView);
    tabs->setContentsMargins(0, 12, 0, 12);
    tabs->setSpacing(2);
    const QStringList titles { tr("My Device"), tr("Backup"), tr("Restore"), tr("Security"), tr("One Touch Backup"),
                               tr("Cloud Backup") };
    for (int i = 0; i < tabNames().size(); ++i) {
        auto* button = new MyTabButton(titles[i], ColorView);
        button->setObjectName(tabNames()[i]); // the identifier highlightTab compares with
        button->setMinimumHeight(52);
        tabs->addWidget(button);
        tabBtnList << button;
    }
    tabs->addStretch();
    MyDeviceTabBtn = tabBtnList[0];
    BackupTabBtn = tabBtnList[1];
    RestoreTabBtn = tabBtnList[2];
    SecurityTabBtn = tabBtnList[3];
    OTBTabBtn = tabBtnList[4];
    CloudTabBtn = tabBtnList[5];
    connect(MyDeviceTabBtn, &QPushButton::clicked, this, &ViewController::onMydeviceTabClicked);
    connect(BackupTabBtn, &QPushButton::clicked, this, &ViewController::onBackupTabClicked);
    connect(RestoreTabBtn, &QPushButton::clicked, this, &ViewController::onRestoreTabClicked);
    connect(SecurityTabBtn, &QPushButton::clicked, this, &ViewController::onSecurityTabClicked);
    connect(OTBTabBtn, &QPushButton::clicked, this, &ViewController::onOTBTabClicked);
    connect(CloudTabBtn, &QPushButton::clicked, this, &ViewController::onCloudTabClicked);

    // The seven containers share one place; exactly one shows at a time.
    auto* content = new QWidget(this);
    auto* stack = new QGridLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    QList<QWidget**> slots { &MyDeviceViewContainer, &BackupViewContainer, &RestoreViewContainer,
                             &SecurityViewContainer, &OTBViewContainer, &CloudViewContainer,
                             &CloudProgressViewContainer };
    for (int i = 0; i < slots.size(); ++i) {
        auto* container = new QWidget(content);
        container->setObjectName(segueIdentifiers()[i].chopped(int(qstrlen("Segue"))));
        auto* l = new QVBoxLayout(container);
        l->setContentsMargins(0, 0, 0, 0);
        stack->addWidget(container, 0, 0);
        *slots[i] = container;
    }

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(ColorView);
    body->addWidget(content, 1);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(titleColorView);
    root->addLayout(body, 1);

    showOnly(MyDeviceViewContainer);
}

QList<QWidget*> ViewController::containers() const
{
    return { MyDeviceViewContainer, BackupViewContainer, RestoreViewContainer, SecurityViewContainer,
             OTBViewContainer, CloudViewContainer, CloudProgressViewContainer };
}

QWidget* ViewController::page(const QString& segueIdentifier) const
{
    const qsizetype i = segueIdentifiers().indexOf(segueIdentifier);
    return i < 0 ? nullptr : pages_.value(i);
}

void ViewController::embedPages()
{
    const QStringList placeholderTitles { tr("My Device"), tr("Backup"), tr("Restore"), tr("Security"),
                                          tr("One Touch Backup"), tr("Cloud Backup"), tr("Cloud Download") };
    const QList<QWidget*> all = containers();
    for (int i = 0; i < all.size(); ++i) {
        const QString& id = segueIdentifiers()[i];
        QWidget* page = WindowFactory::create(id, all[i]);
        if (!page)
            page = new PlaceholderPage(placeholderTitles[i], all[i]);
        page->setParent(all[i]);
        all[i]->layout()->addWidget(page);
        pages_ << page;

        if (auto* embedded = dynamic_cast<EmbeddedPage*>(page))
            embedded->embed(this);
        auto* list = dynamic_cast<TaskTablePage*>(page);
        if (id == "MyDeviceContainerSegue")
            MyDeviceView = dynamic_cast<DeviceListPage*>(page);
        else if (id == "BackupContainerSegue")
            controller.BackupView = list;
        else if (id == "RestoreContainerSegue")
            controller.RestoreView = list;
        else if (id == "OTBContainerSegue") {
            controller.OtbView = list;
            OtbView = dynamic_cast<OtbButtonPage*>(page);
        }
        else if (id == "CloudContainerSegue" && !qobject_cast<PlaceholderPage*>(page))
            CloudView = page;
        else if (id == "CloudProgressContainerSegue" && !qobject_cast<PlaceholderPage*>(page))
            CloudProgressView = page;
    }
}

void ViewController::start()
{
    if (!defaults()->value("eulaAccepted").toBool()) {
        launchFootprint.noteFolders({ TaskController::taskListFolder() });
        launchFootprint.noteFiles({ TaskController::taskListPath(), UsbDeviceTracker::modelListPath() });
    }
    controller.TaskArray = controller.loadTaskList(); // each task arms its own schedule
    controller.updateTaskVolumePaths(false);          // always ends by saving
    GoogleReporter::shared().configure();
    if (createUsbWatcher)
        createUsbWatcher(this);
    controller.refreshTaskLists();
    if (OtbView)
        OtbView->viewDidLoad();
    showOnly(MyDeviceViewContainer);
}

void ViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (usbTracker)
        usbTracker->reportUsedProducts();
    GoogleReporter::shared().event("User OS Version", osVersionText(), QString());
    highlightTab(CurrentTabName.isEmpty() ? QStringLiteral("MYDEVICE") : CurrentTabName);
    checkAppLocation();
    if (!defaults()->value("eulaAccepted").toBool() && presentEula)
        presentEula(this);
}

QString ViewController::osVersionText()
{
    return QStringLiteral("Linux - ") + QSysInfo::productVersion();
}

bool ViewController::hasRunningWork() const
{
    if (!controller.executingTasks.isEmpty())
        return true;
    for (const QPointer<ProgressView>& view : progressWindows_)
        if (view && view->isVisible())
            return true;
    return false;
}

void ViewController::stopAllRuns()
{
    controller.cancelAllRuns();
    if (securityRuns && securityRuns->isRunning())
        securityRuns->removePartialArchive();
}

// ---------------------------------------------------------------- tabs

void ViewController::showOnly(QWidget* container)
{
    for (QWidget* c : containers())
        if (c != container)
            c->hide();
    if (container)
        container->show();
}

void ViewController::selectTab(const QString& name, QWidget* container)
{
    highlightTab(name);
    CurrentTabName = name;
    showOnly(container);
}

void ViewController::onMydeviceTabClicked() { selectMyDeviceTab(); }
void ViewController::selectMyDeviceTab() { selectTab("MYDEVICE", MyDeviceViewContainer); }
void ViewController::onBackupTabClicked() { selectTab("BACKUP", BackupViewContainer); }
void ViewController::onRestoreTabClicked() { selectTab("RESTORE", RestoreViewContainer); }
void ViewController::onSecurityTabClicked() { selectTab("SECURITY", SecurityViewContainer); }
void ViewController::onOTBTabClicked() { selectTab("OTB", OTBViewContainer); }
void ViewController::onCloudTabClicked()
{
    // The run screen keeps the tab until its Done: the page must not start a second run.
    selectTab("CLOUDBACKUP", cloudRunHolds_ ? CloudProgressViewContainer : CloudViewContainer);
}

void ViewController::highlightTab(const QString& name)
{
    for (MyTabButton* button : tabBtnList)
        button->setSelected(button->objectName() == name);
}

void ViewController::setTabButtonsEnabled(bool enabled)
{
    for (MyTabButton* button : tabBtnList)
        button->setEnabled(enabled);
}

void ViewController::setTabsEnabled(bool enabled)
{
    if (enabled) {
        if (defaults()->value("IsRunningOTB").toBool())
            startOtbTimer(300);
        // A cloud download keeps every tab but Cloud off until it ends.
        if (CloudTabBtn->isEnabled() && !BackupTabBtn->isEnabled())
            return;
        setTabButtonsEnabled(true);
        return;
    }
    if (auto* run = qobject_cast<CloudProgressViewController*>(CloudProgressView))
        run->abortDownload();
    cloudRunHolds_ = false;
    resetCloudPage();
    CloudViewContainer->hide();
    CloudProgressViewContainer->hide();
    setTabButtonsEnabled(false);
}

bool ViewController::checkAppLocation()
{
    // No Applications folder here: the build and install folders both count as installed.
    // Only a copy started from a removable volume (the disk-image case) is warned about.
    const QString dir = QCoreApplication::applicationDirPath();
    if (!ExternalVolumes::isExternalPath(dir))
        return true;
    controller.appFolderPathIssue = true;
    UtilityFunctions::showMessageView(this, tr("Information"), "ic_log_info",
                                      tr("Before using the cloud backup feature, please put the app in \"Applications\" folder"),
                                      false);
    return true;
}

// ---------------------------------------------------------------- cloud

void ViewController::showCloudPage()
{
    cloudRunHolds_ = false;
    showOnly(CloudViewContainer);
    resetCloudPage();
    setTabButtonsEnabled(true);
}

void ViewController::resetCloudPage()
{
    if (auto* page = qobject_cast<CloudViewController*>(CloudView))
        page->resetCloudPage();
}

void ViewController::startCloudDownload(const QList<CloudItemPtr>& items, const QString& destination,
                                        CloudLoginService service)
{
    qCInfo(lcMainWindow) << "Lets start download!";
    cloudRunHolds_ = true;
    showOnly(CloudProgressViewContainer);
    setTabButtonsEnabled(false);
    CloudTabBtn->setEnabled(true);
    if (auto* run = qobject_cast<CloudProgressViewController*>(CloudProgressView))
        run->doCloudDownload(items, destination, service);
}

// ---------------------------------------------------------------- page requests

void ViewController::runTask(const TaskInfoPtr& task, const QString& action, bool useProgress)
{
    controller.runTask(task, action, useProgress);
}

void ViewController::updateTaskVolumePaths(bool refresh)
{
    controller.updateTaskVolumePaths(refresh);
}

void ViewController::driveIdentityGiven(const QString& root, const QString& identity)
{
    controller.driveIdentityGiven(root, identity);
}

void ViewController::restoreTask(const TaskInfoPtr& task, const QString& action)
{
    controller.restoreTask(task, action);
}

void ViewController::decryptFile(const QString& path, const QString& password)
{
    securityRuns->decryptFile(path, password);
}

void ViewController::restoreWithPassword(const QString& password)
{
    controller.restoreWithPassword(password);
}

void ViewController::btnClicked(int index)
{
    controller.btnClicked(index);
}

// ---------------------------------------------------------------- progress window

QSettings* ViewController::defaults()
{
    return defaults_.get();
}

void ViewController::removePartialArchive()
{
    // Backups and restores clean up after themselves; only the encrypt run has work here.
    securityRuns->removePartialArchive();
}

std::shared_ptr<ProgressReceiver> ViewController::presentProgressSheet(const TaskInfoPtr& task, const QString& title,
                                                                      const QString& imageName, const QString& status)
{
    auto* view = WindowFactory::createAs<ProgressView>(QStringLiteral("BackupProgressView"), this);
    if (!view)
        view = new ProgressView(this);
    view->titleString = title;
    view->statusString = status;
    view->imagePath = imageName;
    view->taskInfo = task;
    view->progressDelegate = this;
    // The window's shortcuts and menu (Quit, Help) stay reachable while the run blocks it.
    view->addActions(actions());
    if (contextMenuPolicy() == Qt::ActionsContextMenu)
        view->setContextMenuPolicy(Qt::ActionsContextMenu);
    progressWindows_.removeAll(nullptr);
    progressWindows_ << view;
    view->present();
    // The last owner may let go on a background thread; the window is deleted on its own.
    QPointer<ProgressView> guard(view);
    return std::shared_ptr<ProgressReceiver>(view, [guard](ProgressReceiver*) {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [guard] { delete guard.data(); }, Qt::QueuedConnection);
    });
}

void ViewController::dismissProgressSheet(const std::shared_ptr<ProgressReceiver>& sheet)
{
    if (auto* view = dynamic_cast<ProgressView*>(sheet.get()))
        view->hide();
}

void ViewController::representProgressSheet(const std::shared_ptr<ProgressReceiver>& sheet)
{
    auto* view = dynamic_cast<ProgressView*>(sheet.get());
    if (view && !view->isVisible())
        view->present();
}

void ViewController::showUserNotification(const QString& title, const QString& subtitle)
{
    if (notifier_)
        notifier_->post(title, subtitle);
}

void ViewController::askRestorePassword(const TaskInfoPtr&)
{
    QDialog* dialog = makeRestorePasswordDialog ? makeRestorePasswordDialog(this, this) : nullptr;
    if (!dialog) {
        qCWarning(lcMainWindow) << "No password dialog for the encrypted restore";
        controller.restorePasswordPromptClosed();
        return;
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    TaskController* c = &controller;
    QPointer<ViewController> self(this);
    connect(dialog, &QDialog::finished, this, [self, c] {
        if (self)
            c->restorePasswordPromptClosed();
    });
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->open();
}

void ViewController::reportEvent(const QString& category, const QString& action, const QString& label)
{
    GoogleReporter::shared().event(category, action, label);
}

// ---------------------------------------------------------------- Security runs

void ViewController::encryptFiles(const QString& path, const QString& password)
{
    securityRuns->encryptFiles(path, password);
}

bool ViewController::checkFilesInUse(const TaskInfoPtr& task)
{
    return controller.checkFilesInUse(task);
}

std::shared_ptr<ProgressReceiver> ViewController::presentProgressSheet(const QString& title, const QString& imageName,
                                                                      const QString& statusText)
{
    securitySheet_ = controller.presentProgressSheet(nullptr, title, imageName, statusText);
    return securitySheet_;
}

void ViewController::dismissProgress()
{
    if (securitySheet_)
        dismissProgressSheet(securitySheet_);
    securitySheet_.reset();
}

void ViewController::askDeleteSource(const QString& statusText, messageViewDelegate* answer)
{
    auto* window = WindowFactory::createAs<messageView>(QStringLiteral("MessageView"), this);
    if (!window)
        return;
    window->titleString = tr("Information");
    window->imagePath = QStringLiteral("ic_log_success");
    window->statusString = statusText;
    window->showSuppressionCheckBox = true;
    window->suppressionLabelText = tr("Delete source file(s).");
    window->suppressionKey = QStringLiteral("SecuriryDeleteSource");
    window->btnClickedDelegate = answer;
    window->present();
}

void ViewController::analyticsEvent(const QString& category, const QString& action)
{
    GoogleReporter::shared().event(category, action, QString());
}
