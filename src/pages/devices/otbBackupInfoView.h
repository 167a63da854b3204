#pragma once

#include "TaskInfo.h"

#include <QWidget>

class ElidedLabel;
class QLabel;
class QPushButton;

// The card of the bound task on the last wizard step: name, destination and last backup,
// and a details area that the card's own button folds out (60 high folded, 250 open).
class otbBackupInfoView : public QWidget {
    Q_OBJECT
public:
    explicit otbBackupInfoView(QWidget* parent = nullptr);

    static constexpr int kFoldedHeight = 60;
    static constexpr int kOpenHeight = 250;

    QLabel* compressText = nullptr;
    QLabel* encryptText = nullptr;
    ElidedLabel* cellTaskNameLabel = nullptr;
    ElidedLabel* cellDestLabel = nullptr;
    QLabel* cellLastUpdateLabel = nullptr;
    QWidget* moreInfoView = nullptr;
    QLabel* cellScheduleLabel = nullptr;
    QLabel* cellCompressLabel = nullptr;
    QLabel* cellEncryptLabel = nullptr;
    QLabel* cellFileCountLabel = nullptr;
    QLabel* cellFolderCountLabel = nullptr;
    QLabel* cellTotalSizeLabel = nullptr;
    QPushButton* moreInfoBtn = nullptr;
    QWidget* InfoView = nullptr;
    QLabel* lastBackupTitle = nullptr;

    // The card's height.
    int backupHeight() const { return backupHeight_; }
    // The arrow the details button shows.
    QString moreInfoImageName() const { return imageName_; }

    void fill(const TaskInfoPtr& task);

public Q_SLOTS:
    void moreInfoBtnClick();

private:
    void setBackupHeight(int height);
    void setMoreInfoImage(const QString& name);

    int backupHeight_ = kFoldedHeight;
    QString imageName_;
};
