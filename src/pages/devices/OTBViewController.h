#pragma once

#include "AddTaskBoxViewController.h"
#include "BoxViewSendTaskDelegate.h"
#include "EmbeddedPage.h"
#include "OTBCellDelegate.h"
#include "OtbButtonPage.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

class CarosellView;
class OtbImageView;
class OtbSendTaskDelegate;
class QGraphicsOpacityEffect;
class QLabel;
class QListWidget;
class QLocale;
class QPropertyAnimation;
class QPushButton;
class circleButton;
class customizeButton;
class otbBackupInfoView;
class otbTableViewCell;

// The "OTB" page: a four-step wizard that binds one task to the one-touch button of the
// maker's drives. Step 1 picks the drive model, step 2 (the page itself) the task, step 3
// waits for a press on the drive, step 4 shows the binding. The binding lives in the user
// defaults ("RunningOTBDevice", "RunningOTBTask", "IsRunningOTB") and in the tasks'
// isOtbChecked, which the main window sets when asked through otbAction. Tasks are held by
// name: the main window replaces the list after every change.
class OTBViewController : public QWidget,
                          public OtbButtonPage,
                          public EmbeddedPage,
                          public BoxViewSendTaskDelegate,
                          public OTBCellDelegate {
    Q_OBJECT
public:
    // Shows a message window with a "do not show again" box that stores true under the key.
    using SuppressibleMessagePresenter =
        std::function<void(QWidget* presenter, const QString& title, const QString& imagePath, const QString& message,
                           const QString& checkBoxText, const QString& suppressionKey)>;

    explicit OTBViewController(QWidget* parent = nullptr);
    ~OTBViewController() override;

    static constexpr int kRingFadeMs = 1000;
    static constexpr int kSuccessFadeMs = 1500;

    QList<TaskInfoPtr> tableData;
    OtbSendTaskDelegate* passToMainDelegate = nullptr;
    bool stopBling = true; // ends the ring's blinking after the fade in progress
    // Opens the manual; tests replace it. Default QDesktopServices::openUrl.
    std::function<void(const QUrl&)> openUrl;
    // The main window installs its message window; without one the notice shows through the
    // shared presenter, without its check box.
    SuppressibleMessagePresenter suppressibleMessagePresenter;

    // The bound task's name ("" when none) and its row now (-1 when it is not listed).
    QString boundTaskName() const { return boundTaskName_; }
    int indexInData() const;
    int rowOfMoreInfo() const;
    int selectedRow() const;
    otbTableViewCell* cellAt(int row) const;
    int rowHeight(int row) const;
    // Opacity of the ring over the drive's button and of the success picture (step 3).
    qreal circleOpacity() const;
    qreal successOpacity() const;

    // The manual's language part: "EN" without a language, "CN"/"TW" for Chinese.
    static QString helpLanguageCode(const QLocale& locale);
    static QUrl helpUrl(const QLocale& locale);

    // TaskTablePage / OtbButtonPage
    void setTableData(const QList<TaskInfoPtr>& tasks) override;
    void reloadTaskTable() override;
    bool reopenTaskEditor(const TaskInfoPtr& typed, const QString& action) override;
    void viewDidLoad() override;
    bool otbButtonPressed() override;
    void setOtbAccessProblem(const QString& text) override;
    // EmbeddedPage
    void embed(QObject* mainWindow) override;
    // BoxViewSendTaskDelegate: the task editor's new task
    void sendTask(const TaskInfoPtr& task, const QString& action) override;
    void driveIdentityGiven(const QString& root, const QString& identity) override;
    // OTBCellDelegate
    void expandTaskRow(const QString& taskName) override;

    virtual void presentSuppressibleMessage(const QString& title, const QString& imagePath, const QString& message,
                                            const QString& checkBoxText, const QString& suppressionKey);
    void startStepThree();
    void fadeCircleIn();
    void fadeCircleOut();
    void updateStep4();
    void resetToStepOne();

    AddTaskBoxViewController* editor() const { return editor_; }

public Q_SLOTS:
    void rotateLeft();
    void rotateRight();
    void goStepTwo();
    void backStepOne();
    void doneBtnClicked();
    void backStepTwo();
    void goStepFour();
    void helpBtnClicked();
    void addTask();

protected:
    void showEvent(QShowEvent* event) override; // viewWillAppear

private:
    // Step 1
    QWidget* step1View = nullptr;
    CarosellView* carosellView = nullptr;
    QPushButton* leftArrowBtn = nullptr;
    QPushButton* rightArrowBtn = nullptr;
    customizeButton* step1NextBtn = nullptr;
    // Step 2
    QListWidget* OTBTableView = nullptr;
    circleButton* addBtn = nullptr;
    circleButton* step2BackBtn = nullptr;
    customizeButton* step2StartBtn = nullptr;
    // Step 3
    QWidget* step3View = nullptr;
    QWidget* step3Content = nullptr;
    OtbImageView* step3DeviceImage = nullptr;
    OtbImageView* step3CircleImage = nullptr;
    OtbImageView* step3SuccessImage = nullptr;
    QLabel* step3AccessLabel = nullptr;
    circleButton* step3BackBtn = nullptr;
    customizeButton* step3SkipBtn = nullptr;
    // Step 4
    QWidget* step4View = nullptr;
    QWidget* step4Content = nullptr;
    OtbImageView* step4DeviceImage = nullptr;
    QLabel* step4DeviceName = nullptr;
    otbBackupInfoView* otbBackupInfo = nullptr;
    QLabel* step4AccessLabel = nullptr;
    customizeButton* step4ResetBtn = nullptr;
    // Every step
    QPushButton* helpBtn = nullptr;

    void buildStepOne();
    void buildStepTwo(QWidget* page);
    void buildStepThree();
    void buildStepFour();
    void rebuildRows();
    void tableViewSelectionDidChange();
    void updateSelectionLook();
    void fadeCircle(qreal target);
    TaskInfoPtr taskNamed(const QString& name) const;
    void otbAction(const TaskInfoPtr& task, const QString& word);
    void showPanel(QWidget* panel);

    TaskInfoPtr placeholder_;
    QString boundTaskName_;
    QString selectedTaskName_;
    QString moreInfoTaskName_;
    QGraphicsOpacityEffect* circleEffect_ = nullptr;
    QGraphicsOpacityEffect* successEffect_ = nullptr;
    QPropertyAnimation* blingAnimation_ = nullptr;
    QPropertyAnimation* successAnimation_ = nullptr;
    QPointer<AddTaskBoxViewController> editor_;
    TaskInfoPtr handedOver_; // the last new task the editor handed over
};
