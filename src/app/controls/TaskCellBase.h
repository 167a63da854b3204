#pragma once

#include "TaskInfo.h"

#include <QWidget>

class ElidedLabel;
class QHBoxLayout;
class QLabel;
class myMoreInfoBtn;

// What the Backup and Restore rows share: the always-visible part (picture, name,
// destination, last backup) and the fold-out with schedule, mode, counts and size.
class TaskCellBase : public QWidget {
    Q_OBJECT
public:
    explicit TaskCellBase(QWidget* parent = nullptr);

    bool moreInfoShow = false;

    QWidget* InfoView = nullptr;
    QWidget* moreInfoView = nullptr;
    QLabel* statusImg = nullptr;
    ElidedLabel* cellTaskNameLabel = nullptr;
    ElidedLabel* cellDestLabel = nullptr;
    QLabel* cellLastUpdateLabel = nullptr;
    QLabel* cellScheduleLabel = nullptr;
    QLabel* compressText = nullptr;
    QLabel* encryptText = nullptr;
    QLabel* cellCompressLabel = nullptr;
    QLabel* cellEncryptLabel = nullptr;
    QLabel* cellFileCountLabel = nullptr;
    QLabel* cellFolderCountLabel = nullptr;
    QLabel* cellTotalSizeLabel = nullptr;
    myMoreInfoBtn* moreInfoBtn = nullptr;

    // The name of the task the row shows; actions find the task again by it.
    QString taskName() const;
    // The picture the status image shows ("" when none).
    QString statusImageName() const { return statusImageName_; }

    // Fills the labels from the task; `open` opens the fold-out.
    virtual void fill(const TaskInfoPtr& task, bool open);

    // The labels that show a task's details, in a row here and on the wizard's task card.
    struct DetailLabels {
        ElidedLabel* name;
        ElidedLabel* destination;
        QLabel* lastBackup;
        QLabel* schedule;
        QLabel* compress;
        QLabel* encrypt;
        QLabel* fileCount;
        QLabel* folderCount;
        QLabel* totalSize;
    };
    static void fillDetails(const DetailLabels& labels, const TaskInfoPtr& task);

protected:
    void setStatusImage(const QString& name);
    void setMoreInfoOpen(bool open);
    // Where subclasses put their line under the destination and their buttons.
    QHBoxLayout* statusLine = nullptr;
    QHBoxLayout* actionsLayout = nullptr;
    static QLabel* caption(const QString& text, QWidget* parent);

private:
    QString statusImageName_;
};
