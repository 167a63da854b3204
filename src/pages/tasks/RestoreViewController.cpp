#include "RestoreViewController.h"

#include "RestoreSendTaskDelegate.h"
#include "RestoreTableRowView.h"
#include "UtilityFunctions.h"
#include "restoreTableCell.h"

RestoreViewController::RestoreViewController(QWidget* parent)
    : TaskListPageBase(QStringLiteral("RestoreViewController"), QStringLiteral("restoreTableView"),
                       QStringLiteral("Restore View"), parent)
{
}

void RestoreViewController::embed(QObject* mainWindow)
{
    passToMainDelegate = dynamic_cast<RestoreSendTaskDelegate*>(mainWindow);
    if (passToMainDelegate)
        passToMainDelegate->restoreTask(nullptr, QStringLiteral("Update"));
}

restoreTableCell* RestoreViewController::cellAt(int row) const
{
    return static_cast<restoreTableCell*>(cellWidgetAt(row));
}

RestoreTableRowView* RestoreViewController::rowViewAt(int row) const
{
    return static_cast<RestoreTableRowView*>(rowWidgetAt(row));
}

QWidget* RestoreViewController::createRowView(QWidget* parent)
{
    return new RestoreTableRowView(parent);
}

TaskCellBase* RestoreViewController::createCell(QWidget* row)
{
    auto* cell = new restoreTableCell(row);
    cell->myDelegate = this;
    return cell;
}

void RestoreViewController::restoreRow(const QString& taskName)
{
    const TaskInfoPtr task = taskNamed(taskName);
    if (!task || !passToMainDelegate)
        return;
    if (task->function == 3) {
        // The password question that follows is the confirmation.
        passToMainDelegate->restoreTask(task, QStringLiteral("Restore"));
        return;
    }
    // A restore puts the backup in place of the current files: ask first.
    pendingRestoreName_ = taskName;
    UtilityFunctions::showMessageView(this, QString(), QStringLiteral("ic_log_lable"),
                                      tr("Restoring replaces the current files with those of the backup \"%1\". Do you want to continue?")
                                          .arg(taskName),
                                      true);
}

void RestoreViewController::btnClicked(int index)
{
    const QString name = pendingRestoreName_;
    pendingRestoreName_.clear();
    if (index != 0)
        return;
    const TaskInfoPtr task = taskNamed(name);
    if (task && passToMainDelegate)
        passToMainDelegate->restoreTask(task, QStringLiteral("Restore"));
}

void RestoreViewController::moreInfoRow(const QString& taskName)
{
    moreInfoTaskName_ = QString();
    if (taskNamed(taskName))
        moreInfoTaskName_ = taskName;
    reloadTaskTable();
}
