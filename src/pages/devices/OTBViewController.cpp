#include "OTBViewController.h"

#include "AddTaskBoxViewController.h"
#include "CarosellView.h"
#include "ControlNames.h"
#include "ControlStyle.h"
#include "DispatchQueue.h"
#include "GoogleReporter.h"
#include "MakerProducts.h"
#include "OtbImageView.h"
#include "OtbPageLog.h"
#include "OtbSendTaskDelegate.h"
#include "OtbTableRowView.h"
#include "UtilityFunctions.h"
#include "ZorviImages.h"
#include "circleButton.h"
#include "customizeButton.h"
#include "otbBackupInfoView.h"
#include "otbTableViewCell.h"

#include <QDesktopServices>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPropertyAnimation>
#include <QSettings>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

const QColor kPageGrey(227, 227, 227);
const QColor kWarning(255, 59, 48);
const QString kRunningDevice = QStringLiteral("RunningOTBDevice");
const QString kRunningTask = QStringLiteral("RunningOTBTask");
const QString kIsRunning = QStringLiteral("IsRunningOTB");
const QString kAlertShowed = QStringLiteral("OtbAlertShowedtest2");
const QString kManualSite = QStringLiteral("https://www.morvantek.com");

QWidget* panel(const QString& name, const QColor& background, QWidget* parent)
{
    auto* view = new QWidget(parent);
    view->setObjectName(name);
    view->setAttribute(Qt::WA_StyledBackground);
    view->setStyleSheet(QStringLiteral("#%1 { background: %2; }").arg(name, ControlStyle::css(background)));
    return view;
}

QLabel* label(const QString& text, int pixelSize, bool bold, const QColor& colour, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    l->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(colour), ControlStyle::cssFont(pixelSize, bold)));
    return l;
}

// The heading and the line under it that every step starts with.
QVBoxLayout* stepLayout(QWidget* view, const QString& title, const QString& note)
{
    auto* v = new QVBoxLayout(view);
    v->setContentsMargins(24, 16, 24, 12);
    v->setSpacing(6);
    v->addWidget(label(title, 20, true, ControlStyle::darkText(), view));
    v->addWidget(label(note, 13, false, ControlStyle::greyText(), view));
    v->addSpacing(6);
    return v;
}

customizeButton* actionButton(const QString& text, QWidget* parent)
{
    auto* b = new customizeButton(text, parent);
    b->setFixedSize(120, 32);
    return b;
}

QPushButton* arrowButton(const QString& image, const QString& tip, QWidget* parent)
{
    auto* b = new QPushButton(parent);
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    b->setToolTip(tip);
    b->setFixedSize(40, 40);
    b->setIconSize(QSize(40, 40));
    b->setIcon(ZorviImages::icon(image));
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
    return b;
}

QLabel* warningLine(QWidget* parent)
{
    QLabel* l = label(QString(), 13, false, kWarning, parent);
    l->setAlignment(Qt::AlignCenter);
    l->hide();
    return l;
}

} // namespace

OTBViewController::OTBViewController(QWidget* parent)
    : QWidget(parent)
    , placeholder_(TaskInfo::init())
{
    tableData << placeholder_;
    openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    setObjectName(QStringLiteral("OTBViewController"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#OTBViewController { background: %1; }").arg(ControlStyle::css(kPageGrey)));

    // The four steps share one place; step 2 is the page itself, under the other three.
    auto* stack = new QGridLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    auto* stepTwo = new QWidget(this);
    buildStepTwo(stepTwo);
    stack->addWidget(stepTwo, 0, 0);
    buildStepOne();
    stack->addWidget(step1View, 0, 0);
    buildStepThree();
    stack->addWidget(step3View, 0, 0);
    buildStepFour();
    stack->addWidget(step4View, 0, 0);

    helpBtn = new QPushButton(tr("Help"), this);
    helpBtn->setFlat(true);
    helpBtn->setCursor(Qt::PointingHandCursor);
    helpBtn->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: transparent; border: none; padding: 18px 24px; %2 }")
                               .arg(ControlStyle::css(ControlStyle::accentBlue()), ControlStyle::cssFont(14)));
    stack->addWidget(helpBtn, 0, 0, Qt::AlignTop | Qt::AlignRight);
    connect(helpBtn, &QPushButton::clicked, this, &OTBViewController::helpBtnClicked);

    circleEffect_ = new QGraphicsOpacityEffect(step3CircleImage);
    circleEffect_->setOpacity(1.0);
    step3CircleImage->setGraphicsEffect(circleEffect_);
    blingAnimation_ = new QPropertyAnimation(circleEffect_, "opacity", this);
    blingAnimation_->setDuration(kRingFadeMs);
    connect(blingAnimation_, &QAbstractAnimation::finished, this, [this] {
        if (blingAnimation_->endValue().toReal() < 0.5)
            fadeCircleIn();
        else
            fadeCircleOut();
    });

    successEffect_ = new QGraphicsOpacityEffect(step3SuccessImage);
    successEffect_->setOpacity(0.0);
    step3SuccessImage->setGraphicsEffect(successEffect_);
    successAnimation_ = new QPropertyAnimation(successEffect_, "opacity", this);
    successAnimation_->setDuration(kSuccessFadeMs);
    successAnimation_->setEndValue(1.0);
    connect(successAnimation_, &QAbstractAnimation::finished, this, [this] {
        step3View->hide();
        updateStep4();
    });

    step3View->hide();
    step4View->hide();
    showPanel(step1View);

    ControlNames::apply({
        { carosellView, "carosellView" },
        { leftArrowBtn, "leftArrowBtn" },
        { rightArrowBtn, "rightArrowBtn" },
        { step1NextBtn, "step1NextBtn" },
        { addBtn, "addBtn" },
        { step2BackBtn, "step2BackBtn" },
        { step2StartBtn, "step2StartBtn" },
        { step3DeviceImage, "step3DeviceImage" },
        { step3CircleImage, "step3CircleImage" },
        { step3SuccessImage, "step3SuccessImage" },
        { step3AccessLabel, "step3AccessLabel" },
        { step3BackBtn, "step3BackBtn" },
        { step3SkipBtn, "step3SkipBtn" },
        { step4DeviceImage, "step4DeviceImage" },
        { step4DeviceName, "step4DeviceName" },
        { otbBackupInfo, "otbBackupInfo" },
        { step4AccessLabel, "step4AccessLabel" },
        { step4ResetBtn, "step4ResetBtn" },
        { helpBtn, "helpBtn" }
    });
}

OTBViewController::~OTBViewController()
{
    if (editor_)
        editor_->boxDelegate = nullptr;
}

void OTBViewController::buildStepOne()
{
    step1View = panel(QStringLiteral("step1View"), kPageGrey, this);
    QVBoxLayout* v = stepLayout(step1View, tr("Select your device"),
                                tr("Choose the model of the drive whose One Touch Backup button you want to use."));
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    leftArrowBtn = arrowButton(QStringLiteral("ic_otb_left_grey"), tr("Previous model"), step1View);
    carosellView = new CarosellView(step1View);
    rightArrowBtn = arrowButton(QStringLiteral("ic_otb_right_grey"), tr("Next model"), step1View);
    carosellView->setFixedHeight(232);
    row->addWidget(leftArrowBtn, 0, Qt::AlignVCenter);
    row->addWidget(carosellView, 1, Qt::AlignVCenter);
    row->addWidget(rightArrowBtn, 0, Qt::AlignVCenter);
    v->addLayout(row, 1);
    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    step1NextBtn = actionButton(tr("Next"), step1View);
    bar->addWidget(step1NextBtn);
    v->addLayout(bar);
    connect(leftArrowBtn, &QPushButton::clicked, this, &OTBViewController::rotateLeft);
    connect(rightArrowBtn, &QPushButton::clicked, this, &OTBViewController::rotateRight);
    connect(step1NextBtn, &QPushButton::clicked, this, &OTBViewController::goStepTwo);
}

void OTBViewController::buildStepTwo(QWidget* page)
{
    QVBoxLayout* v = stepLayout(page, tr("Select a backup task"),
                                tr("The selected task runs each time the One Touch Backup button of your drive is pressed."));
    OTBTableView = new QListWidget(page);
    OTBTableView->setObjectName(QStringLiteral("OTBTableView"));
    OTBTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    OTBTableView->setFrameShape(QFrame::NoFrame);
    OTBTableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    OTBTableView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    OTBTableView->setStyleSheet(QStringLiteral("QListWidget { background: %1; border: none; outline: 0; }"
                                               "QListWidget::item { background: transparent; border: none; padding: 0; }")
                                    .arg(ControlStyle::css(kPageGrey)));
    v->addWidget(OTBTableView, 1);
    connect(OTBTableView, &QListWidget::itemSelectionChanged, this, &OTBViewController::tableViewSelectionDidChange);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(8);
    step2BackBtn = new circleButton(QStringLiteral("back"), page);
    step2BackBtn->setToolTip(tr("Back"));
    addBtn = new circleButton(QStringLiteral("add"), page);
    addBtn->setToolTip(tr("Add a backup task"));
    step2StartBtn = actionButton(tr("Start"), page);
    step2StartBtn->setEnabled(false);
    bar->addWidget(step2BackBtn);
    bar->addStretch(1);
    bar->addWidget(label(tr("Add a backup task"), 13, false, ControlStyle::greyText(), page));
    bar->addWidget(addBtn);
    bar->addSpacing(16);
    bar->addWidget(step2StartBtn);
    v->addLayout(bar);
    connect(step2BackBtn, &QPushButton::clicked, this, &OTBViewController::backStepOne);
    connect(addBtn, &QPushButton::clicked, this, &OTBViewController::addTask);
    connect(step2StartBtn, &QPushButton::clicked, this, &OTBViewController::doneBtnClicked);
}

void OTBViewController::buildStepThree()
{
    step3View = panel(QStringLiteral("step3View"), kPageGrey, this);
    QVBoxLayout* v = stepLayout(step3View, tr("Press the One Touch Backup button"),
                                tr("Press the One Touch Backup button on your drive to confirm the setting."));
    step3Content = panel(QStringLiteral("step3Content"), Qt::white, step3View);
    auto* content = new QVBoxLayout(step3Content);
    content->setContentsMargins(16, 16, 16, 12);
    // Picture, ring and success badge are drawn at one size, so they line up when stacked.
    auto* pictures = new QWidget(step3Content);
    pictures->setFixedSize(230, 230);
    auto* stack = new QGridLayout(pictures);
    stack->setContentsMargins(0, 0, 0, 0);
    step3DeviceImage = new OtbImageView(pictures);
    step3CircleImage = new OtbImageView(pictures);
    step3SuccessImage = new OtbImageView(pictures);
    step3SuccessImage->setImageName(QStringLiteral("img_otb_success"));
    for (OtbImageView* image : { step3DeviceImage, step3CircleImage, step3SuccessImage })
        stack->addWidget(image, 0, 0);
    content->addStretch(1);
    content->addWidget(pictures, 0, Qt::AlignHCenter);
    content->addStretch(1);
    step3AccessLabel = warningLine(step3Content);
    content->addWidget(step3AccessLabel);
    v->addWidget(step3Content, 1);

    auto* bar = new QHBoxLayout;
    step3BackBtn = new circleButton(QStringLiteral("back"), step3View);
    step3BackBtn->setToolTip(tr("Back"));
    step3SkipBtn = actionButton(tr("Skip"), step3View);
    bar->addWidget(step3BackBtn);
    bar->addStretch(1);
    bar->addWidget(step3SkipBtn);
    v->addLayout(bar);
    connect(step3BackBtn, &QPushButton::clicked, this, &OTBViewController::backStepTwo);
    connect(step3SkipBtn, &QPushButton::clicked, this, &OTBViewController::goStepFour);
}

void OTBViewController::buildStepFour()
{
    step4View = panel(QStringLiteral("step4View"), kPageGrey, this);
    QVBoxLayout* v = stepLayout(step4View, tr("One Touch Backup is ready"),
                                tr("Press the One Touch Backup button on your drive to run this task."));
    step4Content = panel(QStringLiteral("step4Content"), Qt::white, step4View);
    auto* content = new QHBoxLayout(step4Content);
    content->setContentsMargins(20, 16, 20, 16);
    content->setSpacing(24);
    auto* device = new QVBoxLayout;
    step4DeviceImage = new OtbImageView(step4Content);
    step4DeviceImage->setFixedSize(180, 180);
    step4DeviceName = label(QString(), 16, true, ControlStyle::darkText(), step4Content);
    step4DeviceName->setAlignment(Qt::AlignHCenter);
    device->addWidget(step4DeviceImage);
    device->addWidget(step4DeviceName);
    device->addStretch(1);
    content->addLayout(device);
    auto* task = new QVBoxLayout;
    task->setSpacing(10);
    task->addWidget(label(tr("Bound task"), 13, false, ControlStyle::greyText(), step4Content));
    // The card is white like the content: a grey frame sets it apart.
    auto* frame = panel(QStringLiteral("otbBackupInfoFrame"), kPageGrey, step4Content);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    otbBackupInfo = new otbBackupInfoView(frame);
    frameLayout->addWidget(otbBackupInfo);
    task->addWidget(frame);
    step4AccessLabel = warningLine(step4Content);
    step4AccessLabel->setAlignment(Qt::AlignLeft);
    task->addWidget(step4AccessLabel);
    task->addStretch(1);
    content->addLayout(task, 1);
    v->addWidget(step4Content, 1);

    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    step4ResetBtn = actionButton(tr("Set Up Again"), step4View);
    bar->addWidget(step4ResetBtn);
    v->addLayout(bar);
    connect(step4ResetBtn, &QPushButton::clicked, this, &OTBViewController::backStepOne);
}

// ---------------------------------------------------------------- state

int OTBViewController::indexInData() const
{
    if (boundTaskName_.isEmpty())
        return -1;
    for (int i = 0; i < tableData.size(); ++i)
        if (tableData.at(i) && tableData.at(i)->taskName == boundTaskName_)
            return i;
    return -1;
}

TaskInfoPtr OTBViewController::taskNamed(const QString& name) const
{
    for (const TaskInfoPtr& task : tableData)
        if (task && task != placeholder_ && task->taskName == name)
            return task;
    return nullptr;
}

int OTBViewController::rowOfMoreInfo() const
{
    if (moreInfoTaskName_.isEmpty())
        return -1;
    for (int i = 0; i < tableData.size(); ++i)
        if (tableData.at(i) && tableData.at(i)->taskName == moreInfoTaskName_)
            return i;
    return -1;
}

int OTBViewController::selectedRow() const
{
    const QList<QListWidgetItem*> selected = OTBTableView->selectedItems();
    return selected.isEmpty() ? -1 : OTBTableView->row(selected.first());
}

otbTableViewCell* OTBViewController::cellAt(int row) const
{
    QWidget* view = OTBTableView->itemWidget(OTBTableView->item(row));
    return view ? view->findChild<otbTableViewCell*>() : nullptr;
}

int OTBViewController::rowHeight(int row) const
{
    return row == rowOfMoreInfo() ? 160 : 80;
}

qreal OTBViewController::circleOpacity() const
{
    return circleEffect_->opacity();
}

qreal OTBViewController::successOpacity() const
{
    return successEffect_->opacity();
}

void OTBViewController::otbAction(const TaskInfoPtr& task, const QString& word)
{
    if (passToMainDelegate)
        passToMainDelegate->otbAction(task, word);
}

void OTBViewController::showPanel(QWidget* view)
{
    view->show();
    view->raise();
    helpBtn->raise();
}

// ---------------------------------------------------------------- main window and editor

void OTBViewController::embed(QObject* mainWindow)
{
    passToMainDelegate = dynamic_cast<OtbSendTaskDelegate*>(mainWindow);
}

void OTBViewController::setTableData(const QList<TaskInfoPtr>& tasks)
{
    tableData = tasks;
}

void OTBViewController::viewDidLoad()
{
    // The main window may have handed over its list already; only the placeholder goes.
    if (!tableData.isEmpty() && tableData.first() == placeholder_)
        tableData.removeFirst();
    otbAction(nullptr, QStringLiteral("Update"));

    QSettings defaults;
    const QString name = defaults.value(kRunningTask).toString();
    const bool running = defaults.value(kIsRunning).toBool();
    if (name.isEmpty())
        return;
    const TaskInfoPtr task = taskNamed(name);
    if (!task)
        return;
    boundTaskName_ = name;
    if (running) {
        otbAction(task, QStringLiteral("OtbChange"));
        otbAction(nullptr, QStringLiteral("StartOTB"));
        updateStep4();
    }
}

void OTBViewController::sendTask(const TaskInfoPtr& task, const QString& action)
{
    handedOver_ = task;
    if (passToMainDelegate)
        passToMainDelegate->runTask(task, action, true);
}

void OTBViewController::driveIdentityGiven(const QString& root, const QString& identity)
{
    if (passToMainDelegate)
        passToMainDelegate->driveIdentityGiven(root, identity);
}

void OTBViewController::addTask()
{
    auto* editor = new AddTaskBoxViewController(window(), nullptr);
    editor->boxDelegate = this;
    editor_ = editor;
    editor->present();
}

bool OTBViewController::reopenTaskEditor(const TaskInfoPtr& typed, const QString& action)
{
    if (!typed || typed != handedOver_)
        return false;
    handedOver_ = nullptr;
    addTask();
    if (editor_)
        editor_->fillWithTyped(typed, action == QLatin1String("AddDo"));
    return true;
}

void OTBViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    GoogleReporter::shared().screenView(QStringLiteral("OTB View"));
    reloadTaskTable();
    if (QSettings().value(kRunningDevice).toString().isEmpty())
        resetToStepOne();
}

void OTBViewController::setOtbAccessProblem(const QString& text)
{
    for (QLabel* line : { step3AccessLabel, step4AccessLabel }) {
        line->setText(text);
        line->setVisible(!text.isEmpty());
    }
}

// ---------------------------------------------------------------- task table

void OTBViewController::reloadTaskTable()
{
    QPointer<OTBViewController> guard(this);
    DispatchQueue::main().async([guard] {
        if (!guard)
            return;
        guard->rebuildRows();
        if (!guard->step4View->isHidden())
            guard->updateStep4();
        const int open = guard->rowOfMoreInfo();
        if (open >= 0)
            guard->OTBTableView->scrollToItem(guard->OTBTableView->item(open));
    });
}

void OTBViewController::rebuildRows()
{
    // The selection follows its task by name; a reload alone changes no binding.
    const QSignalBlocker quiet(OTBTableView);
    const int count = int(tableData.size());
    while (OTBTableView->count() > count)
        delete OTBTableView->takeItem(OTBTableView->count() - 1);
    while (OTBTableView->count() < count) {
        auto* item = new QListWidgetItem(OTBTableView);
        auto* row = new OtbTableRowView;
        auto* rowLayout = new QVBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->addWidget(new otbTableViewCell(row));
        OTBTableView->setItemWidget(item, row);
    }
    const int open = rowOfMoreInfo();
    int selected = -1;
    for (int i = 0; i < count; ++i) {
        const TaskInfoPtr& task = tableData.at(i);
        otbTableViewCell* cell = cellAt(i);
        if (task)
            cell->fill(task, i == open);
        cell->myDelegate = this;
        OTBTableView->item(i)->setSizeHint(QSize(0, rowHeight(i)));
        if (selected < 0 && task && !selectedTaskName_.isEmpty() && task->taskName == selectedTaskName_)
            selected = i;
    }
    if (selected >= 0) {
        OTBTableView->setCurrentRow(selected);
    } else {
        OTBTableView->clearSelection();
        selectedTaskName_.clear();
    }
    step2StartBtn->setEnabled(selected >= 0);
    updateSelectionLook();
}

void OTBViewController::updateSelectionLook()
{
    const int selected = selectedRow();
    for (int i = 0; i < OTBTableView->count(); ++i)
        if (otbTableViewCell* cell = cellAt(i))
            cell->setRowSelected(i == selected);
}

void OTBViewController::tableViewSelectionDidChange()
{
    const int row = selectedRow();
    qCDebug(lcOtbPage) << "is change";
    step2StartBtn->setEnabled(row >= 0);
    qCDebug(lcOtbPage) << "did change";
    updateSelectionLook();
    if (row < 0 || row >= tableData.size() || !tableData.at(row)) {
        selectedTaskName_.clear();
        return;
    }
    const TaskInfoPtr task = tableData.at(row);
    selectedTaskName_ = task->taskName;
    otbAction(task, QStringLiteral("OtbChange"));
    GoogleReporter::shared().event(QStringLiteral("OTB Action"), QStringLiteral("OTB Select Device"), QString());
}

void OTBViewController::expandTaskRow(const QString& taskName)
{
    moreInfoTaskName_ = taskNamed(taskName) ? taskName : QString();
    reloadTaskTable();
}

// ---------------------------------------------------------------- wizard

void OTBViewController::rotateLeft()
{
    carosellView->rotate(false);
}

void OTBViewController::rotateRight()
{
    carosellView->rotate(true);
}

void OTBViewController::resetToStepOne()
{
    showPanel(step1View);
    step3View->hide();
    step4View->hide();
    step2StartBtn->setEnabled(false);
    successAnimation_->stop();
    stopBling = true;
    boundTaskName_.clear();
    otbAction(nullptr, QStringLiteral("DisableAll"));
}

void OTBViewController::backStepOne()
{
    resetToStepOne();
}

void OTBViewController::goStepTwo()
{
    step1View->hide();
    OTBTableView->clearSelection();
    const QString name = carosellView->currentDeviceName();
    const QString picture = MakerProducts::modelPictureName(name);
    step3DeviceImage->setImageName(QStringLiteral("OTB_") + picture);
    step3CircleImage->setImageName(QStringLiteral("OTB_") + picture + QStringLiteral("_2"));
    QSettings().setValue(kRunningDevice, name);
}

void OTBViewController::doneBtnClicked()
{
    // The row was chosen before the list may have been replaced: bind by name, or not at all.
    const TaskInfoPtr task = taskNamed(selectedTaskName_);
    if (!task)
        return;
    boundTaskName_ = task->taskName;
    QSettings defaults;
    defaults.setValue(kRunningTask, task->taskName);
    defaults.setValue(kIsRunning, true);
    otbAction(task, QStringLiteral("OtbChange"));
    otbAction(nullptr, QStringLiteral("StartOTB"));
    if (!defaults.value(kAlertShowed).toBool())
        presentSuppressibleMessage(tr("Information"), QStringLiteral("ic_log_info"),
                                   tr("The OTB function is available only when Morvantek OTB device is connected."),
                                   tr("Do not show this message again"), kAlertShowed);
    reloadTaskTable();
    OTBTableView->clearSelection();
    startStepThree();
}

void OTBViewController::presentSuppressibleMessage(const QString& title, const QString& imagePath, const QString& message,
                                                   const QString& checkBoxText, const QString& suppressionKey)
{
    // Never waits for an answer: a press that arrives meanwhile must reach step 3.
    if (suppressibleMessagePresenter)
        suppressibleMessagePresenter(this, title, imagePath, message, checkBoxText, suppressionKey);
    else
        UtilityFunctions::showMessageView(this, title, imagePath, message, false);
}

void OTBViewController::startStepThree()
{
    showPanel(step3View);
    step2StartBtn->setEnabled(false);
    successAnimation_->stop();
    successEffect_->setOpacity(0.0);
    stopBling = false;
    // Back and Start again within one fade: the running blink carries on.
    if (blingAnimation_->state() != QAbstractAnimation::Running)
        fadeCircleOut();
}

void OTBViewController::fadeCircle(qreal target)
{
    if (stopBling) {
        circleEffect_->setOpacity(1.0);
        return;
    }
    blingAnimation_->setStartValue(circleEffect_->opacity());
    blingAnimation_->setEndValue(target);
    blingAnimation_->start();
}

void OTBViewController::fadeCircleOut()
{
    fadeCircle(0.0);
}

void OTBViewController::fadeCircleIn()
{
    fadeCircle(1.0);
}

bool OTBViewController::otbButtonPressed()
{
    const bool active = QGuiApplication::applicationState() == Qt::ApplicationActive;
    GoogleReporter::shared().event(QStringLiteral("OTB Action"), active ? QStringLiteral("foreground") : QStringLiteral("background"),
                                   QString());
    const bool stepThreeHidden = step3View->isHidden();
    if (!stepThreeHidden && successAnimation_->state() != QAbstractAnimation::Running) {
        successAnimation_->setStartValue(successEffect_->opacity());
        successAnimation_->start();
    }
    return stepThreeHidden;
}

void OTBViewController::backStepTwo()
{
    successAnimation_->stop();
    step3View->hide();
    OTBTableView->clearSelection();
    stopBling = true;
}

void OTBViewController::goStepFour()
{
    successAnimation_->stop();
    step3View->hide();
    updateStep4();
}

void OTBViewController::updateStep4()
{
    const QString device = QSettings().value(kRunningDevice).toString();
    if (device.isEmpty()) {
        resetToStepOne();
        return;
    }
    const TaskInfoPtr task = taskNamed(boundTaskName_);
    if (!task)
        return; // the last contents stay
    stopBling = true;
    showPanel(step4View);
    step4DeviceImage->setImageName(MakerProducts::modelPictureName(device));
    step4DeviceName->setText(device);
    otbBackupInfo->fill(task);
}

// ---------------------------------------------------------------- help

QString OTBViewController::helpLanguageCode(const QLocale& locale)
{
    const QLocale::Language language = locale.language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return QStringLiteral("EN");
    const QString code = QLocale::languageToCode(language).toUpper();
    if (code == QLatin1String("ZH"))
        return locale.script() == QLocale::SimplifiedHanScript ? QStringLiteral("CN") : QStringLiteral("TW");
    return code.isEmpty() ? QStringLiteral("EN") : code;
}

QUrl OTBViewController::helpUrl(const QLocale& locale)
{
    return QUrl(kManualSite + QStringLiteral("/Manual/Zorvi/") + helpLanguageCode(locale) + QLatin1Char('/'));
}

void OTBViewController::helpBtnClicked()
{
    if (openUrl)
        openUrl(helpUrl(QLocale()));
}
