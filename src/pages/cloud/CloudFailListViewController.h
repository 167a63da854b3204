#pragma once

#include "CloudItemClass.h"
#include "CloudLoginService.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <optional>

class CloudFailListDelegate;
class QAbstractButton;
class QCheckBox;
class QTreeWidget;
class customizeButton;

// The modal window "Download failed list": the files of a run that failed, with their cloud
// path, date, size and remark, ticked one by one, all or none, and downloaded again.
class CloudFailListViewController : public QDialog {
    Q_OBJECT
public:
    explicit CloudFailListViewController(QWidget* parent = nullptr);

    CloudFailListDelegate* delegate = nullptr; // not owned: the run screen
    std::optional<CloudLoginService> service;
    QList<CloudItemPtr> dataArray;
    QList<qint64> selectRowArray; // ticked rows, in the order they were ticked
    const QStringList titleArray;

    // Modal to the run screen's window; returns at once and deletes itself when closed.
    void present();
    void reloadData();
    // The tick box of a row (its "tag" property is the row).
    QCheckBox* checkBoxOfRow(int row) const;

    void checkBoxWithSender(QAbstractButton* sender);
    void selectAllItems();
    void deSelectAllItems();
    void doReDownload();

    // What the window shows: each row's texts (path, date, size, remark) and whether
    // Download can be pressed.
    struct Shown {
        QList<QStringList> rows;
        bool downloadEnabled = false;
    };
    Shown shown() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTreeWidget* outlineView = nullptr;
    customizeButton* selectAllBtn = nullptr;
    customizeButton* deSelectAllBtn = nullptr;
    customizeButton* downloadBtn = nullptr;
    bool loaded_ = false;
};
