#include "AddTaskBoxViewController.h"

#include "AddTaskBoxButton.h"
#include "AddTaskSmallBoxButton.h"
#include "AdvanceViewController.h"
#include "BoxPathTableCell.h"
#include "BoxViewSendTaskDelegate.h"
#include "ControlNames.h"
#include "ControlStyle.h"
#include "FolderChooser.h"
#include "DispatchQueue.h"
#include "ElidedLabel.h"
#include "GoogleReporter.h"
#include "PasswordRules.h"
#include "SourcePickerDialog.h"
#include "TaskPaths.h"
#include "TreeSize.h"
#include "UtilityFunctions.h"
#include "VolumeIdentity.h"
#include "ZorviImages.h"
#include "customizeButton.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTextStream>
#include <QVBoxLayout>
#include <algorithm>

namespace {
const QString kErrorImage = QStringLiteral("ic_log_lable");

QString cleanPath(const QString& path)
{
    return QDir::cleanPath(path);
}

constexpr int kBoxWidth = 320;
constexpr int kSmallButtonHeight = 32;

// The picker covered the button: it never saw the mouse leave.
void dropHoverLook(QWidget* button)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
}

// A centred title wider than the button loses both ends. One that does not fit goes on two
// lines, broken before `secondLine`, each cut at its end if still too wide; the tooltip keeps it whole.
void fitTitle(QPushButton* button, const QString& first, const QString& secondLine)
{
    button->ensurePolished();
    const QFontMetrics metrics = button->fontMetrics();
    const int room = button->width() - 2 * 16; // the button's padding and border
    const QString whole = first + QLatin1Char(' ') + secondLine;
    button->setToolTip(whole);
    if (metrics.horizontalAdvance(whole) <= room) {
        button->setText(whole);
        button->setFixedHeight(kSmallButtonHeight);
        return;
    }
    button->setText(metrics.elidedText(first, Qt::ElideRight, room) + QLatin1Char('\n')
                    + metrics.elidedText(secondLine, Qt::ElideRight, room));
    button->setFixedHeight(std::max(kSmallButtonHeight, 2 * metrics.lineSpacing() + 12));
}
} // namespace

AddTaskBoxViewController::AddTaskBoxViewController(QWidget* parent, const TaskInfoPtr& representedObject)
    : QDialog(parent)
    , taskInfoForAdvTemp(TaskInfo::init())
    , password(PasswordRules::noPasswordMarker())
{
    setObjectName(QStringLiteral("AddTaskBoxViewController"));
    setWindowTitle(tr("Backup task"));
    setWindowFlags(ControlStyle::dialogFlags());
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#AddTaskBoxViewController { background: rgb(227, 227, 227); }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(12);

    auto* nameRow = new QHBoxLayout;
    auto* nameCaption = new QLabel(tr("Task name:"), this);
    nameCaption->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(14)));
    taskName_field = new QLineEdit(this);
    taskName_field->setPlaceholderText(tr("Name of the backup task"));
    taskName_field->setStyleSheet(QStringLiteral("QLineEdit { background: white; border: 0.5px solid rgb(199, 199, 204); padding: 4px; %1 }")
                                      .arg(ControlStyle::cssFont(14)));
    nameRow->addWidget(nameCaption);
    nameRow->addWidget(taskName_field, 1);
    layout->addLayout(nameRow);

    auto* boxes = new QGridLayout;
    boxes->setHorizontalSpacing(16);
    boxes->setVerticalSpacing(8);

    // Source side: the list, with the large box above it until something is chosen.
    srcPathImgView = new QLabel(tr("Source"), this);
    srcPathImgView->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::greyText()), ControlStyle::cssFont(13, true)));
    boxes->addWidget(srcPathImgView, 0, 0);
    leftBoxTableView = new QListWidget(this);
    leftBoxTableView->setSelectionMode(QAbstractItemView::NoSelection);
    leftBoxTableView->setFocusPolicy(Qt::NoFocus);
    leftBoxTableView->setFixedSize(kBoxWidth, 270);
    leftBoxTableView->setStyleSheet(QStringLiteral("QListWidget { background: white; border: 1px solid rgb(199, 199, 204); }"));
    sourceBoxBtn = new AddTaskBoxButton(QStringLiteral("Source"), this);
    boxes->addWidget(leftBoxTableView, 1, 0);
    boxes->addWidget(sourceBoxBtn, 1, 0);
    AddFileBtn = new AddTaskSmallBoxButton(tr("Add Files"), this);
    AddFileBtn->setFixedSize(kBoxWidth, kSmallButtonHeight);
    boxes->addWidget(AddFileBtn, 2, 0, Qt::AlignTop);

    arrowImg = new QLabel(this);
    arrowImg->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_newtask_arrow"), QSize(32, 32)));
    boxes->addWidget(arrowImg, 1, 1, Qt::AlignCenter);

    // Destination side: the chosen folder, with the large box above it until one is chosen.
    destPathImgView = new QLabel(tr("Destination"), this);
    destPathImgView->setStyleSheet(srcPathImgView->styleSheet());
    boxes->addWidget(destPathImgView, 0, 2);
    auto* destPanel = new QWidget(this);
    destPanel->setObjectName(QStringLiteral("destPanel"));
    destPanel->setAttribute(Qt::WA_StyledBackground);
    destPanel->setStyleSheet(QStringLiteral("#destPanel { background: white; border: 1px solid rgb(199, 199, 204); }"));
    destPanel->setFixedSize(kBoxWidth, 270);
    auto* destLayout = new QVBoxLayout(destPanel);
    auto* destIcon = new QLabel(destPanel);
    destIcon->setPixmap(ZorviImages::pixmap(QStringLiteral("ic_newtask_destination_grey"), QSize(72, 72)));
    destLayout->addStretch(1);
    destLayout->addWidget(destIcon, 0, Qt::AlignHCenter);
    destPathTextLabel = new ElidedLabel(QString(), destPanel);
    destPathTextLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    destPathTextLabel->setFont(ControlStyle::font(13));
    destLayout->addWidget(destPathTextLabel);
    destLayout->addStretch(1);
    destinationBoxBtn = new AddTaskBoxButton(QStringLiteral("Destination"), this);
    boxes->addWidget(destPanel, 1, 2);
    boxes->addWidget(destinationBoxBtn, 1, 2);
    changeDestBtn = new AddTaskSmallBoxButton(tr("Change Destination"), this);
    changeDestBtn->setFixedSize(kBoxWidth, kSmallButtonHeight);
    boxes->addWidget(changeDestBtn, 2, 2, Qt::AlignTop);
    sourceBoxBtn->raise();
    destinationBoxBtn->raise();
    layout->addLayout(boxes);

    auto* bottom = new QHBoxLayout;
    AdvanceBtn = new QPushButton(tr("Advanced Settings"), this);
    AdvanceBtn->setFlat(true);
    // A link, not the dialog's default: Enter in the name field must not open the settings.
    AdvanceBtn->setAutoDefault(false);
    AdvanceBtn->setCursor(Qt::PointingHandCursor);
    AdvanceBtn->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; background: transparent; %2 }")
                                  .arg(ControlStyle::css(ControlStyle::accentBlue()), ControlStyle::cssFont(14)));
    backupImmediatelyCheck = new QCheckBox(tr("Back up immediately"), this);
    backupImmediatelyCheck->setChecked(true);
    cancelButton = new customizeButton(tr("Cancel"), this);
    doneButton = new customizeButton(tr("Done"), this);
    for (customizeButton* b : { cancelButton, doneButton }) {
        b->setMinimumSize(96, 30);
        b->setAutoDefault(false);
    }
    bottom->addWidget(AdvanceBtn);
    bottom->addSpacing(12);
    bottom->addWidget(backupImmediatelyCheck);
    bottom->addStretch(1);
    bottom->addWidget(cancelButton);
    bottom->addWidget(doneButton);
    layout->addLayout(bottom);

    connect(AddFileBtn, &QPushButton::clicked, this, &AddTaskBoxViewController::addFileBtnClicked);
    connect(sourceBoxBtn, &QPushButton::clicked, this, &AddTaskBoxViewController::addFileClicked);
    connect(changeDestBtn, &QPushButton::clicked, this, &AddTaskBoxViewController::changeDestBtnClicked);
    connect(destinationBoxBtn, &QPushButton::clicked, this, &AddTaskBoxViewController::changeDestClicked);
    connect(doneButton, &QPushButton::clicked, this, &AddTaskBoxViewController::taskDoneClicked);
    connect(cancelButton, &QPushButton::clicked, this, &AddTaskBoxViewController::taskCancelClicked);
    connect(AdvanceBtn, &QPushButton::clicked, this, &AddTaskBoxViewController::openAdvancedSettings);

    if (representedObject) {
        if (representedObject->backupDest.isEmpty())
            refused_ = true;
        else
            enterModifyMode(representedObject);
    }

    ControlNames::apply({
        { destPathImgView, "destPathImgView" },
        { srcPathImgView, "srcPathImgView" },
        { leftBoxTableView, "leftBoxTableView" },
        { destPathTextLabel, "destPathTextLabel" },
        { AddFileBtn, "AddFileBtn" },
        { changeDestBtn, "changeDestBtn" },
        { taskName_field, "taskName_field" },
        { sourceBoxBtn, "sourceBoxBtn" },
        { destinationBoxBtn, "destinationBoxBtn" },
        { AdvanceBtn, "AdvanceBtn" },
        { arrowImg, "arrowImg" },
        { backupImmediatelyCheck, "backupImmediatelyCheck" },
        { doneButton, "doneButton" },
        { cancelButton, "cancelButton" }
    });
}

AddTaskBoxViewController::~AddTaskBoxViewController() = default;

void AddTaskBoxViewController::enterModifyMode(const TaskInfoPtr& task)
{
    if (isModifyMode)
        return;
    isModifyMode = true;
    taskInfoToMod = task;
    exeFunc = task->function;
    password = task->password;
    scheduleMode = task->scheduleMode;
    hour = task->hour;
    minute = task->minute;
    date = task->date;
    weekday = task->weekday;
    sourcePathArray = task->backupSrc;
    destinationPath = task->backupDest;

    sourceBoxBtn->hide();
    destinationBoxBtn->hide();
    reloadSourceList();
    const QString dest = TaskInfo::pathPart(task->backupDest);
    destPathTextLabel->setText(dest);
    destPathTextLabel->setToolTip(dest);
    taskName_field->setText(task->taskName);
    taskName_field->setEnabled(false);
    refreshSourceTotal();
}

bool AddTaskBoxViewController::present()
{
    if (refused_) {
        deleteLater();
        return false;
    }
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    open();
    return true;
}

AddTaskBoxViewController::SourceFigures AddTaskBoxViewController::measureSources(const QStringList& entries)
{
    SourceFigures figures;
    for (const QString& entry : entries) {
        const QString path = TaskInfo::pathPart(entry);
        const QFileInfo info(path);
        if (!path.isEmpty() && info.isDir()) {
            ++figures.directoryCount;
            qint64 below = 0;
            TreeSize::sumBelow(path, TreeSize::Measure::Apparent, below);
            figures.totalSize += below;
        } else {
            ++figures.fileCount;
            if (info.exists())
                figures.totalSize += info.size();
        }
    }
    return figures;
}

void AddTaskBoxViewController::showError(const QString& message)
{
    UtilityFunctions::showMessageView(this, tr("Error"), kErrorImage, message, false);
}

QString AddTaskBoxViewController::permissionText(const QString& path) const
{
    // The volume's name and the path below it, each component followed by "/".
    QString shown;
    const std::optional<QString> root = UtilityFunctions::getVolumeRoot(path);
    QString relative = path;
    if (root) {
        shown = QFileInfo(*root).fileName() + QLatin1Char('/');
        relative = QDir(*root).relativeFilePath(path);
    }
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part != QLatin1String("."))
            shown += part + QLatin1Char('/');
    }
    return QStringLiteral(" \"") + shown + QStringLiteral("\" ");
}

std::optional<QString> AddTaskBoxViewController::taggedChoice(const QString& path, bool asSource)
{
    // An entry keeps its drive's identity after the path's first ';': such a path would be
    // read back as another folder.
    if (path.contains(QLatin1Char(';'))) {
        showError(permissionText(path)
                  + (asSource ? tr("as the source path: a task cannot keep a path that holds \";\". Rename the folder so "
                                   "that its path holds none, then choose it again.")
                              : tr("as the destination path: a task cannot keep a path that holds \";\". Rename the folder "
                                   "so that its path holds none, then choose it again.")));
        return std::nullopt;
    }
    // A folder chosen here is what a backup will tell its drive by: a drive whose identity file
    // is empty or missing gets a new identity, one whose file cannot carry one is refused.
    const std::optional<VolumeIdentity> file = VolumeIdentity::read(path);
    if (!file)
        return path;
    QString why;
    switch (file->state) {
    case VolumeIdentity::State::Carried:
        if (file->identity == QLatin1String("#"))
            why = tr("it holds \"#\", which marks a drive without an identity");
        else if (file->identity.contains(QLatin1Char(';')))
            why = tr("it holds \";\", which a task cannot keep in an identity");
        else
            return path + QLatin1Char(';') + file->identity;
        break;
    case VolumeIdentity::State::Unusable:
        why = file->reason;
        break;
    case VolumeIdentity::State::Empty:
    case VolumeIdentity::State::Missing: {
        const QString root = QFileInfo(file->file).path();
        if (const std::optional<QString> identity = UtilityFunctions::writeNewIdentity(file->file)) {
            spreadNewIdentity(root, *identity);
            return path + QLatin1Char(';') + *identity;
        }
        if (QStorageInfo(root).isReadOnly()) {
            showError(permissionText(path)
                      + (asSource ? tr("as the source path: its drive is write-protected and has no identity, so it cannot be "
                                       "told apart from another drive. Turn its write protection off (on a memory card, the "
                                       "lock switch on its side), then choose the folder again.")
                                  : tr("as the destination path: its drive is write-protected and has no identity, so it "
                                       "cannot be told apart from another drive. Turn its write protection off (on a memory "
                                       "card, the lock switch on its side), then choose the folder again.")));
        } else {
            showError(permissionText(path)
                      + (asSource ? tr("as the source path: Permission denied.") : tr("as the destination path: Permission denied.")));
        }
        return std::nullopt;
    }
    }
    showError(permissionText(path)
              + (asSource ? tr("as the source path: its drive cannot be told from another, because the drive's identity file "
                               "\"%1\" cannot be used (%2). Rename or remove that file, then choose the folder again.")
                          : tr("as the destination path: its drive cannot be told from another, because the drive's identity "
                               "file \"%1\" cannot be used (%2). Rename or remove that file, then choose the folder again."))
                    .arg(file->file, why));
    return std::nullopt;
}

void AddTaskBoxViewController::spreadNewIdentity(const QString& root, const QString& identity)
{
    // What recorded this drive with no identity names it by its new one, here and in every
    // task, or it would name a drive that is no longer there.
    for (QString& entry : sourcePathArray)
        entry = TaskInfo::adoptingDriveIdentity(entry, root, identity);
    destinationPath = TaskInfo::adoptingDriveIdentity(destinationPath, root, identity);
    if (taskInfoToMod)
        taskInfoToMod->adoptDriveIdentity(root, identity);
    if (boxDelegate)
        boxDelegate->driveIdentityGiven(root, identity);
}

QString AddTaskBoxViewController::duplicateText(const QStringList& paths)
{
    QStringList quoted;
    for (const QString& path : paths)
        quoted.append(QLatin1Char('"') + path + QLatin1Char('"'));
    if (quoted.size() == 1)
        return tr("%1 is already in the list of sources.").arg(quoted.first());
    const QString last = quoted.takeLast();
    return tr("%1 and %2 are already in the list of sources.").arg(quoted.join(QStringLiteral(", ")), last);
}

// ---------------------------------------------------------------- sources

void AddTaskBoxViewController::addFileBtnClicked()
{
    openSourcePicker(false);
}

void AddTaskBoxViewController::addFileClicked()
{
    openSourcePicker(true);
}

void AddTaskBoxViewController::openSourcePicker(bool fromBox)
{
    auto* picker = new SourcePickerDialog(this);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    connect(picker, &SourcePickerDialog::pathsChosen, this,
            [this, fromBox](const QStringList& paths) { addSourcePaths(paths, fromBox); });
    picker->open();
}

void AddTaskBoxViewController::addSourcePaths(const QStringList& paths, bool /*fromBox*/)
{
    bool processedOne = false;
    QStringList listed;
    for (const QString& entry : std::as_const(sourcePathArray))
        listed.append(cleanPath(TaskInfo::pathPart(entry)));
    QStringList duplicates;
    for (const QString& raw : paths) {
        const QString path = cleanPath(raw);
        if (path == QLatin1String("/")) {
            showError(tr("You can't use the system root directory as source"));
            continue;
        }
        // The same source twice makes every 7z run of the task fail.
        if (listed.contains(path)) {
            if (!duplicates.contains(path))
                duplicates.append(path);
            continue;
        }
        const std::optional<QString> tagged = taggedChoice(path, true);
        if (!tagged)
            break; // the rest of this choice is dropped
        sourcePathArray.append(*tagged);
        listed.append(path);
        processedOne = true;
    }
    if (!duplicates.isEmpty())
        showError(duplicateText(duplicates));
    if (processedOne) {
        reloadSourceList();
        refreshSourceTotal();
    }
}

void AddTaskBoxViewController::reloadSourceList()
{
    // The large box would hide the list: it only invites the first source.
    sourceBoxBtn->setVisible(sourcePathArray.isEmpty());
    leftBoxTableView->clear();
    for (const QString& entry : std::as_const(sourcePathArray)) {
        auto* item = new QListWidgetItem(leftBoxTableView);
        item->setSizeHint(QSize(0, 25));
        auto* cell = new BoxPathTableCell;
        const QString path = TaskInfo::pathPart(entry);
        cell->boxCellLabel->setText(path);
        cell->setToolTip(path);
        leftBoxTableView->setItemWidget(item, cell);
    }
}

void AddTaskBoxViewController::refreshSourceTotal()
{
    // Summing a large folder takes a while: do it off the GUI thread, keep the latest answer.
    const int generation = ++totalGeneration_;
    const QStringList entries = sourcePathArray;
    QPointer<AddTaskBoxViewController> guard(this);
    DispatchQueue::background().async([guard, generation, entries] {
        const qint64 total = UtilityFunctions::getTotalSize(entries);
        DispatchQueue::main().async([guard, generation, total] {
            if (!guard || generation != guard->totalGeneration_)
                return;
            const QString text = UtilityFunctions::formatSize(total);
            QTextStream(stdout) << text << Qt::endl;
            guard->AddFileBtn->setText(tr("Add Files") + QStringLiteral("(") + text + QStringLiteral(")"));
            dropHoverLook(guard->AddFileBtn);
        });
    });
}

// ---------------------------------------------------------------- destination

void AddTaskBoxViewController::changeDestBtnClicked()
{
    openDestinationPicker(false);
}

void AddTaskBoxViewController::changeDestClicked()
{
    openDestinationPicker(true);
}

void AddTaskBoxViewController::openDestinationPicker(bool fromBox)
{
    QFileDialog* picker = FolderChooser::destinationDialog(this, QStringLiteral("Choose a destination folder"));
    connect(picker, &QFileDialog::fileSelected, this, [this, fromBox](const QString& path) { chooseDestination(path, fromBox); });
    picker->open();
}

void AddTaskBoxViewController::chooseDestination(const QString& raw, bool fromBox)
{
    const QString path = cleanPath(raw);
    if (path == QLatin1String("/")) {
        showError(fromBox ? tr("You can't use the system root directory as destination")
                          : tr("You can't use system root as destination"));
        return;
    }
    const std::optional<QString> tagged = taggedChoice(path, false);
    if (tagged)
        showDestination(path, *tagged);
}

void AddTaskBoxViewController::showDestination(const QString& path, const QString& tagged)
{
    const qint64 free = UtilityFunctions::getFreeSpace(path);
    fitTitle(changeDestBtn, tr("Change Destination"),
             QStringLiteral("(") + tr("%1 available").arg(UtilityFunctions::formatSize(free)) + QStringLiteral(")"));
    dropHoverLook(changeDestBtn);
    destinationPath = tagged;
    destPathTextLabel->setText(path);
    destPathTextLabel->setToolTip(path);
    destinationBoxBtn->hide();
}

void AddTaskBoxViewController::fillWithTyped(const TaskInfoPtr& typed, bool backUpNow)
{
    if (!typed || isModifyMode)
        return;
    taskName_field->setText(typed->taskName);
    sourcePathArray = typed->backupSrc;
    reloadSourceList();
    if (!sourcePathArray.isEmpty())
        refreshSourceTotal();
    if (!typed->backupDest.isEmpty())
        showDestination(TaskInfo::pathPart(typed->backupDest), typed->backupDest);
    // Settings the user never changed stay unset, so the dialog opens on its own defaults.
    const bool advancedChanged = typed->function != exeFunc || typed->password != password
        || typed->scheduleMode != scheduleMode || typed->hour != hour || typed->minute != minute
        || typed->date != date || typed->weekday != weekday;
    if (advancedChanged)
        sendAdvInfo(typed->function, typed->password, typed->scheduleMode, typed->hour, typed->minute, typed->date,
                    typed->weekday);
    backupImmediatelyCheck->setChecked(backUpNow);
}

// ---------------------------------------------------------------- advanced settings

void AddTaskBoxViewController::openAdvancedSettings()
{
    TaskInfoPtr shown;
    if (isAdvSetted)
        shown = taskInfoForAdvTemp;
    else if (isModifyMode)
        shown = taskInfoToMod;
    auto* dialog = new AdvanceViewController(this, shown);
    dialog->advDelegate = this;
    advanced_ = dialog;
    dialog->present();
}

void AddTaskBoxViewController::sendAdvInfo(qint64 function, const QString& newPassword, const QString& newMode,
                                           qint64 newHour, qint64 newMinute, const QList<qint64>& newDate,
                                           const QList<qint64>& newWeekday)
{
    exeFunc = function;
    password = newPassword;
    scheduleMode = newMode;
    hour = newHour;
    minute = newMinute;
    date = newDate;
    weekday = newWeekday;
    taskInfoForAdvTemp->function = function;
    taskInfoForAdvTemp->password = newPassword;
    taskInfoForAdvTemp->scheduleMode = newMode;
    taskInfoForAdvTemp->hour = newHour;
    taskInfoForAdvTemp->minute = newMinute;
    taskInfoForAdvTemp->date = newDate;
    taskInfoForAdvTemp->weekday = newWeekday;
    isAdvSetted = true;
}

// ---------------------------------------------------------------- Done

void AddTaskBoxViewController::taskDoneClicked()
{
    if (measuring_)
        return;
    if (sourcePathArray.isEmpty()) {
        showError(tr("Please add at least one file or folder to back up."));
        return;
    }
    if (destinationPath.isEmpty()) {
        showError(tr("Please choose a destination folder."));
        return;
    }
    const QString name = taskName_field->text();
    if (!TaskPaths::isValidTaskName(name)) {
        showError(tr("Please enter a task name. It cannot be \".\" or \"..\" and cannot contain \"/\" or control characters."));
        return;
    }
    QStringList sources;
    for (const QString& entry : std::as_const(sourcePathArray))
        sources.append(TaskInfo::pathPart(entry));
    const QString dest = TaskInfo::pathPart(destinationPath);
    const QString overlap = TaskPaths::overlapProblem(sources, dest, dest + QLatin1Char('/') + name);
    if (!overlap.isEmpty()) {
        showError(overlap);
        return;
    }

    measuring_ = true;
    doneButton->setEnabled(false);
    const QStringList entries = sourcePathArray;
    const QString destination = destinationPath;
    QPointer<AddTaskBoxViewController> guard(this);
    DispatchQueue::background().async([guard, entries, destination, name] {
        const qint64 total = UtilityFunctions::getTotalSize(entries);
        const qint64 free = UtilityFunctions::getFreeSpace(destination);
        const SourceFigures figures = measureSources(entries);
        DispatchQueue::main().async([guard, entries, destination, name, total, free, figures] {
            if (!guard)
                return;
            guard->measuring_ = false;
            guard->doneButton->setEnabled(true);
            // Figures of another choice than the one now shown are no answer: Done again.
            if (guard->sourcePathArray != entries || guard->destinationPath != destination)
                return;
            guard->finishDone(name, total, free, figures);
        });
    });
}

void AddTaskBoxViewController::finishDone(const QString& name, qint64 total, qint64 free, const SourceFigures& figures)
{
    if (free < total) {
        showError(tr("Not enough space at the selected destination. Please change a destination."));
        return;
    }
    taskName = name;
    const TaskInfoPtr task = buildTask(figures);
    if (!task || !boxDelegate)
        return;
    const bool now = backupImmediatelyCheck->isChecked();
    const QString action = isModifyMode ? (now ? QStringLiteral("ModifyDo") : QStringLiteral("Modify"))
                                        : (now ? QStringLiteral("AddDo") : QStringLiteral("Add"));
    boxDelegate->sendTask(task, action);
    done(QDialog::Accepted);
}

TaskInfoPtr AddTaskBoxViewController::buildTask(const SourceFigures& figures)
{
    if (destinationPath.isEmpty() || sourcePathArray.isEmpty())
        return nullptr;
    QStringList backupId;
    for (int i = 0; i < sourcePathArray.size(); ++i)
        backupId.append(QString::number(i));

    // An unchanged task keeps its history. What the backup folder holds is a fact about the
    // drive, not about the edit: while the folder and the mode stay, the sources that are
    // still the same stay restorable, also when the next run with the new ones is cancelled
    // or fails. A source that is not (another drive, another folder) never gets another's backup.
    TaskInfoPtr task = TaskInfo::initWithValues(taskName, QString(), sourcePathArray, destinationPath, backupId, exeFunc,
                                                password, scheduleMode, hour, minute, date, weekday, 0, 0,
                                                figures.totalSize, figures.fileCount, figures.directoryCount, 0, {}, true);
    if (isModifyMode && taskInfoToMod && taskInfoToMod->taskName == taskName) {
        const bool sameBackup = task->readsSameBackupAs(*taskInfoToMod);
        if (sameBackup && taskInfoToMod->backupSrc == sourcePathArray) {
            task->backupStatus = taskInfoToMod->backupStatus;
            task->restoreStatus = taskInfoToMod->restoreStatus;
            task->lastBackupDate = taskInfoToMod->lastBackupDate;
            task->isOtbChecked = taskInfoToMod->isOtbChecked;
        }
        task->keepFixedSourcesOf(*taskInfoToMod, sameBackup);
    }

    GoogleReporter& reporter = GoogleReporter::shared();
    reporter.event(QStringLiteral("Task Schedule"), scheduleMode, QString());
    if (exeFunc == 1)
        reporter.event(QStringLiteral("Task Security"), QStringLiteral("None"), QString());
    else if (exeFunc == 2)
        reporter.event(QStringLiteral("Task Security"), QStringLiteral("Compress"), QString());
    else if (exeFunc == 3)
        reporter.event(QStringLiteral("Task Security"), QStringLiteral("Compress And Encrypt"), QString());
    return task;
}

void AddTaskBoxViewController::taskCancelClicked()
{
    done(QDialog::Rejected);
}

void AddTaskBoxViewController::reject()
{
    if (!measuring_)
        taskCancelClicked();
}
