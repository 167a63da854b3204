#include "RestoreTableRowView.h"

#include <QPainter>

RestoreTableRowView::RestoreTableRowView(QWidget* parent)
    : QWidget(parent)
{
}

void RestoreTableRowView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(227, 227, 227));
}
