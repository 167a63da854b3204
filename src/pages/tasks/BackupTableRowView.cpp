#include "BackupTableRowView.h"

#include <QPainter>

BackupTableRowView::BackupTableRowView(QWidget* parent)
    : QWidget(parent)
{
}

void BackupTableRowView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(227, 227, 227));
}
