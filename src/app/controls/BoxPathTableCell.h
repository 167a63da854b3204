#pragma once

#include <QWidget>

class BoxCellDelegate;
class ElidedLabel;

// A path row of the task editor's and the cloud page's lists: the path truncated at the
// tail, its full text as tool tip after each paint.
class BoxPathTableCell : public QWidget {
    Q_OBJECT
public:
    explicit BoxPathTableCell(QWidget* parent = nullptr);

    ElidedLabel* boxCellLabel = nullptr;
    BoxCellDelegate* myBoxDelegate = nullptr; // set by the owner; the cell calls nothing on it

protected:
    void paintEvent(QPaintEvent* event) override;
};
