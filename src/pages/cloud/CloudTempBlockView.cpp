#include "CloudTempBlockView.h"

#include <QMouseEvent>

CloudTempBlockView::CloudTempBlockView(QWidget* parent)
    : QWidget(parent)
{
}

// Accepted, so nothing under the view ever sees the click.
void CloudTempBlockView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void CloudTempBlockView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void CloudTempBlockView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}
