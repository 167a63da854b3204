#pragma once

#include "EmbeddedPage.h"
#include "RestoreCellDelegate.h"
#include "TaskListPageBase.h"
#include "messageViewDelegate.h"

class RestoreSendTaskDelegate;
class RestoreTableRowView;
class restoreTableCell;

// The Restore page: the tasks with a successful backup, one row each, restored by name
// through the main window's restore run after the user confirms.
class RestoreViewController : public TaskListPageBase,
                              public EmbeddedPage,
                              public RestoreCellDelegate,
                              public messageViewDelegate {
    Q_OBJECT
public:
    explicit RestoreViewController(QWidget* parent = nullptr);

    RestoreSendTaskDelegate* passToMainDelegate = nullptr;

    void embed(QObject* mainWindow) override;

    // RestoreCellDelegate
    void restoreRow(const QString& taskName) override;
    void moreInfoRow(const QString& taskName) override;
    // messageViewDelegate: the answer to the restore question
    void btnClicked(int index) override;

    QString pendingRestoreName() const { return pendingRestoreName_; }
    restoreTableCell* cellAt(int row) const;
    RestoreTableRowView* rowViewAt(int row) const;

protected:
    QWidget* createRowView(QWidget* parent) override;
    TaskCellBase* createCell(QWidget* row) override;

private:
    QString pendingRestoreName_;
};
