#pragma once

#include "ProgressReceiver.h"
#include "TaskInfo.h"

#include <QDialog>
#include <QString>

class ElidedLabel;
class QLabel;
class QProgressBar;
class customizeButton;
class ProgressViewDelegate;

// The progress window of backup, restore, encrypt and decrypt runs: title, image, status, a
// bar with a percentage label, and Cancel. Progress may be reported from any thread; every
// update is queued to the window's own (GUI) thread and dropped if the window is gone by then.
// Cancel is the only way out: no close button, close requests and Esc are ignored.
// The window does not delete itself on close: the owner keeps it until the run has finished
// reporting, then deletes it.
class ProgressView : public QDialog, public ProgressReceiver {
    Q_OBJECT
    Q_PROPERTY(double barValue READ barValue)
    Q_PROPERTY(QString progressText READ progressText)
public:
    explicit ProgressView(QWidget* parent = nullptr);
    ~ProgressView() override;

    QString imagePath;
    QString titleString;
    QString statusString;
    TaskInfoPtr taskInfo;                          // the task of a backup run; null otherwise
    ProgressViewDelegate* progressDelegate = nullptr; // not owned: the main window
    float percentage = 0.0f;

    // GUI thread.
    void updateProgress(float percentage);
    void updateProgressFraction(float fraction);
    void cancelTask();

    // Any thread.
    void copyProgress(float percentage) override;
    void onLzmaSDKObjCWriter(LzmaSDKObjCWriter* writer, float writeProgress) override;
    void onLzmaSDKObjCReader(LzmaSDKObjCReader* reader, float extractProgress) override;
    void waitingFor(const QString& reason) override;

    // Modal to the window it belongs to (application-modal without one); returns at once.
    void present();

    double barValue() const;      // in percent, as the bar shows it
    QString progressText() const; // the percentage label

public Q_SLOTS:
    void cancelClick();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QProgressBar* progressBar = nullptr; // 0 to 1000: tenths of a percent
    QLabel* titleLabel = nullptr;
    ElidedLabel* taskNameLabel = nullptr; // beside the title: the quoted name of a backup run's task
    QLabel* statusTitle = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* progressLabel = nullptr;
    QLabel* image = nullptr;
    customizeButton* cancelBtn = nullptr;

    void viewDidLoad();
    void setBar(double percent);
    void reportArchiveProgress(const char* prefix, float fraction);

    bool loaded_ = false;
};
