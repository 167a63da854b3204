#include "CarosellView.h"

#include "CarosellCell.h"
#include "MakerProducts.h"
#include "OtbPageLog.h"

#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QResizeEvent>

namespace {
constexpr int kOutlineWidth = 3;
} // namespace

CarosellView::CarosellView(QWidget* parent)
    : QWidget(parent)
    , deviceName(MakerProducts::modelNames())
{
    computeCenters();
    const int n = int(deviceName.size());
    const QRect frames[] = { sideSlot(leftCenter), frontSlot(), sideSlot(rightCenter) };
    for (int i = 0; i < 3; ++i) {
        auto* cell = new CarosellCell(n > 0 ? deviceName.at(i % n) : QString(), frames[i], this);
        cell->delegate = this;
        existViews << cell;
    }
    // Left and right first, the middle one on top.
    existViews[1]->raise();
    outline(existViews[1], true);
}

void CarosellView::computeCenters()
{
    const qreal w = width();
    const qreal h = height();
    leftCenter = QPointF(w * 0.25, h * 0.5);
    frontCenter = QPointF(w * 0.5, h * 0.5);
    rightCenter = QPointF(w * 0.75, h * 0.5);
}

QRect CarosellView::frontSlot() const
{
    const int big = std::max(1, height() - 30);
    return QRect(qRound(frontCenter.x() - big / 2.0), qRound(frontCenter.y() - big / 2.0), big, big);
}

QRect CarosellView::sideSlot(const QPointF& center) const
{
    const int small = std::max(1, height() - 80);
    return QRect(qRound(center.x() - small / 2.0), qRound(center.y() - small / 2.0), small, small);
}

void CarosellView::layoutCards()
{
    layoutPending_ = false;
    if (existViews.size() != 3)
        return;
    existViews[0]->setGeometry(sideSlot(leftCenter));
    existViews[1]->setGeometry(frontSlot());
    existViews[2]->setGeometry(sideSlot(rightCenter));
}

void CarosellView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    computeCenters();
    if (isAnimating)
        layoutPending_ = true; // the running turn ends on the old slots
    else
        layoutCards();
}

void CarosellView::outline(CarosellCell* cell, bool on)
{
    if (cell)
        cell->setBorderWidth(on ? kOutlineWidth : 0);
}

void CarosellView::cellClicked(CarosellCell* cell)
{
    if (isAnimating || existViews.size() != 3)
        return;
    outline(existViews[1], false);
    outline(cell, true);
    qsizetype index = -1;
    for (qsizetype i = 0; i < existViews.size(); ++i) {
        if (existViews[i]->deviceName == cell->deviceName) {
            index = i;
            break;
        }
    }
    if (index == 2)
        rotate(true);
    else if (index == 0)
        rotate(false);
}

void CarosellView::rotate(bool toRight)
{
    const int n = int(deviceName.size());
    if (isAnimating || existViews.size() != 3 || n == 0)
        return;
    isAnimating = true;

    CarosellCell* left = existViews[0];
    CarosellCell* middle = existViews[1];
    CarosellCell* right = existViews[2];
    outline(middle, false);

    int entering;
    if (toRight) {
        deviceIndex = (deviceIndex + 1) % n;
        entering = (deviceIndex + 1) % n;
    } else {
        deviceIndex = (deviceIndex + n - 1) % n;
        entering = (deviceIndex + n - 1) % n;
    }

    // The entering card starts small behind the middle one.
    const int small = std::max(1, left->height() - 80);
    const QRect start(qRound(frontCenter.x() - small / 2.0), qRound(rightCenter.y() - small / 2.0), small, small);
    auto* incoming = new CarosellCell(deviceName.at(entering), start, this);
    incoming->delegate = this;
    incoming->show();

    // Stacking: the card that comes to the middle ends on top.
    CarosellCell* const order[] = { toRight ? left : right, incoming, middle, toRight ? right : left };
    for (CarosellCell* cell : order)
        cell->raise();
    CarosellCell* const newMiddle = toRight ? right : left;
    outline(newMiddle, true);

    // Each card takes the next one's frame; the last takes the entering card's start.
    CarosellCell* const cycle[] = { incoming, toRight ? right : left, middle, toRight ? left : right };
    auto* group = new QParallelAnimationGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* move = new QPropertyAnimation(cycle[i], "geometry", group);
        move->setDuration(rotationMs_);
        move->setEasingCurve(QEasingCurve::InOutQuad);
        move->setStartValue(cycle[i]->geometry());
        move->setEndValue(i < 3 ? cycle[i + 1]->geometry() : start);
        group->addAnimation(move);
    }
    CarosellCell* const leaving = toRight ? left : right;
    connect(group, &QAbstractAnimation::finished, this, [this, toRight, left, middle, right, incoming, leaving] {
        leaving->hide();
        leaving->deleteLater();
        existViews = toRight ? QList<CarosellCell*> { middle, right, incoming } : QList<CarosellCell*> { incoming, left, middle };
        isAnimating = false;
        if (layoutPending_)
            layoutCards();
        Q_EMIT rotationFinished();
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
    qCDebug(lcOtbPage) << (toRight ? "Go RIGHT" : "Go LEFT");
}
