#pragma once

#include "EmbeddedPage.h"
#include "RestoreCellDelegate.h"
#include "TaskTablePage.h"
#include "messageViewDelegate.h"

#include <QList>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;
class RestoreSendTaskDelegate;
class RestoreTableRowView;
class restoreTableCell;

// The Restore page: the tasks with a successful backup, one row each, restored by name
// through the main window's restore run after the user confirms.
class RestoreViewController : public QWidget,
                              public TaskTablePage,
                              public EmbeddedPage,
                              public RestoreCellDelegate,
                              public messageViewDelegate {
    Q_OBJECT
public:
    explicit RestoreViewController(QWidget* parent = nullptr);

    RestoreSendTaskDelegate* passToMainDelegate = nullptr;
    QList<TaskInfoPtr> tableData; // empty until the main window fills it

    void embed(QObject* mainWindow) override;
    void setTableData(const QList<TaskInfoPtr>& tasks) override;
    void reloadTaskTable() override;

    // RestoreCellDelegate
    void restoreRow(const QString& taskName) override;
    void moreInfoRow(const QString& taskName) override;
    // messageViewDelegate: the answer to the restore question
    void btnClicked(int index) override;

    int rowOfMoreInfo() const;
    QString pendingRestoreName() const { return pendingRestoreName_; }
    int rowCount() const { return rows_.size(); }
    restoreTableCell* cellAt(int row) const;
    RestoreTableRowView* rowViewAt(int row) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TaskInfoPtr taskNamed(const QString& name) const;
    void rebuildRows();

    QString moreInfoTaskName_;
    QString pendingRestoreName_;
    QScrollArea* scrollArea_ = nullptr;
    QWidget* listWidget_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    QList<RestoreTableRowView*> rows_;
    QList<restoreTableCell*> cells_;
};
