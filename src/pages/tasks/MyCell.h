#pragma once

#include "TaskCellBase.h"

class CellDelegate;
class QLabel;
class circleButton;
class customizeButton;

// One row of the Backup page: the shared row plus the last result and the Backup,
// Modify and Delete buttons.
class MyCell : public TaskCellBase {
    Q_OBJECT
public:
    explicit MyCell(QWidget* parent = nullptr);

    CellDelegate* myDelegate = nullptr; // the page
    QLabel* cellBackupStatusLabel = nullptr;
    customizeButton* backupBtn = nullptr;
    circleButton* modifyBtn = nullptr;
    circleButton* deleteBtn = nullptr;

    void fill(const TaskInfoPtr& task, bool open) override;

public Q_SLOTS:
    void backupClick();
    void modifyClick();
    void deleteClick();
    void moreInfoBtnClick();
};
