#pragma once

#include "AdvInfoDelegate.h"
#include "TaskInfo.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>

class AddTaskBoxButton;
class AddTaskSmallBoxButton;
#include "AdvanceViewController.h"
class BoxViewSendTaskDelegate;
class ElidedLabel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class customizeButton;

// The task editor: sources, destination, name and advanced settings of a new task, or of an
// existing one (modify mode). Done checks the choices, sums the sources off the GUI thread,
// checks the free space and hands a new task with its action word to `boxDelegate`.
class AddTaskBoxViewController : public QDialog, public AdvInfoDelegate {
    Q_OBJECT
public:
    // A task in `representedObject` opens modify mode; none opens add mode.
    explicit AddTaskBoxViewController(QWidget* parent = nullptr, const TaskInfoPtr& representedObject = nullptr);
    ~AddTaskBoxViewController() override;

    // What Done measures of the sources.
    struct SourceFigures {
        qint64 totalSize = 0; // byte lengths of the files (the task's totalSize)
        qint64 fileCount = 0;
        qint64 directoryCount = 0;
    };
    static SourceFigures measureSources(const QStringList& entries);

    bool isModifyMode = false;
    bool isAdvSetted = false;
    TaskInfoPtr taskInfoToMod;
    TaskInfoPtr taskInfoForAdvTemp;
    BoxViewSendTaskDelegate* boxDelegate = nullptr; // not owned
    qint64 exeFunc = 1;
    QString taskName;
    QString password;
    QString scheduleMode = QStringLiteral("None");
    qint64 hour = -1;
    qint64 minute = -1;
    QList<qint64> date;
    QList<qint64> weekday;
    QStringList sourcePathArray;
    QString destinationPath; // empty while none is chosen

    // Shows the editor application-modal (deleted on close). A task to modify without a
    // destination closes the editor at once: false, and the editor is gone.
    bool present();
    // True while Done waits for the sources to be summed.
    bool isMeasuring() const { return measuring_; }
    // The open advanced-settings dialog, if any.
    AdvanceViewController* advancedDialog() const { return advanced_; }

    // AdvInfoDelegate
    void sendAdvInfo(qint64 function, const QString& password, const QString& scheduleMode, qint64 hour, qint64 minute,
                     const QList<qint64>& date, const QList<qint64>& weekday) override;

    // What the pickers hand over; `fromBox` when started from a large box. Each large box
    // shows only while its side is empty, whichever button chose.
    void addSourcePaths(const QStringList& paths, bool fromBox);
    void chooseDestination(const QString& path, bool fromBox);

    // Add mode only: shows a task this editor built before (its name, sources, destination,
    // advanced settings and whether to back up at once), as the user left it.
    void fillWithTyped(const TaskInfoPtr& typed, bool backUpNow);

    // The task Done would hand over, from the figures of the sources; null without a
    // destination or without sources.
    TaskInfoPtr buildTask(const SourceFigures& figures);

public Q_SLOTS:
    void addFileBtnClicked();
    void addFileClicked();
    void changeDestBtnClicked();
    void changeDestClicked();
    void taskDoneClicked();
    void taskCancelClicked();
    void openAdvancedSettings();
    void reject() override;

private:
    QLabel* destPathImgView = nullptr;
    QLabel* srcPathImgView = nullptr;
    QListWidget* leftBoxTableView = nullptr;
    ElidedLabel* destPathTextLabel = nullptr;
    AddTaskSmallBoxButton* AddFileBtn = nullptr;
    AddTaskSmallBoxButton* changeDestBtn = nullptr;
    QLineEdit* taskName_field = nullptr;
    AddTaskBoxButton* sourceBoxBtn = nullptr;
    AddTaskBoxButton* destinationBoxBtn = nullptr;
    QPushButton* AdvanceBtn = nullptr;
    QLabel* arrowImg = nullptr;
    QCheckBox* backupImmediatelyCheck = nullptr;
    customizeButton* doneButton = nullptr;
    customizeButton* cancelButton = nullptr;

    void enterModifyMode(const TaskInfoPtr& task);
    void openSourcePicker(bool fromBox);
    void openDestinationPicker(bool fromBox);
    void reloadSourceList();
    void refreshSourceTotal();
    void showDestination(const QString& path, const QString& tagged);
    void showError(const QString& message);
    QString permissionText(const QString& path) const;
    // The entry for a folder the user chose (device-tagged on a drive), or nullopt once the
    // user has been told why its drive cannot be told from another.
    std::optional<QString> taggedChoice(const QString& path, bool asSource);
    // The editor has just given the drive at `root`, which showed no identity, `identity`.
    void spreadNewIdentity(const QString& root, const QString& identity);
    static QString duplicateText(const QStringList& paths);
    void finishDone(const QString& name, qint64 total, qint64 free, const SourceFigures& figures);

    bool refused_ = false;
    bool measuring_ = false;
    int totalGeneration_ = 0;
    QPointer<AdvanceViewController> advanced_;
};
