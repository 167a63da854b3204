#pragma once

#include "TaskCellBase.h"

class OTBCellDelegate;

// One row of the One-Touch Backup task list: the shared task row in a 5-pixel frame that
// turns blue on the selected row, with a tinted main area under the mouse.
class otbTableViewCell : public TaskCellBase {
    Q_OBJECT
public:
    explicit otbTableViewCell(QWidget* parent = nullptr);

    static QColor frameColor() { return QColor(227, 227, 227); }
    static QColor hoverColor() { return QColor(249, 249, 254); }

    OTBCellDelegate* myDelegate = nullptr; // the page

    bool isRowSelected() const { return rowSelected_; }
    void setRowSelected(bool selected);
    // White, or the hover tint while the mouse is over the main area.
    QColor infoViewColor() const { return infoColor_; }

public Q_SLOTS:
    void moreInfoBtnClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setInfoViewColor(const QColor& colour);

    bool rowSelected_ = false;
    QColor infoColor_ = Qt::white;
};
