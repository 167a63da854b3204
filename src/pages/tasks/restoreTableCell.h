#pragma once

#include "TaskCellBase.h"

class RestoreCellDelegate;
class customizeButton;

// One row of the Restore page: the shared row plus the Restore button.
class restoreTableCell : public TaskCellBase {
    Q_OBJECT
public:
    explicit restoreTableCell(QWidget* parent = nullptr);

    RestoreCellDelegate* myDelegate = nullptr; // the page
    customizeButton* restoreBtn = nullptr;

    void fill(const TaskInfoPtr& task, bool open) override;

public Q_SLOTS:
    void restoreBtnClick();
    void moreInfoClick();
};
