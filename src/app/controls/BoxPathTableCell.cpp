#include "BoxPathTableCell.h"

#include "ControlStyle.h"
#include "ElidedLabel.h"

#include <QHBoxLayout>

BoxPathTableCell::BoxPathTableCell(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    boxCellLabel = new ElidedLabel(QString(), this);
    boxCellLabel->setFont(ControlStyle::font(14));
    boxCellLabel->setTextColor(ControlStyle::darkText());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->addWidget(boxCellLabel);
}

void BoxPathTableCell::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    setToolTip(boxCellLabel->text());
}
