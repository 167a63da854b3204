#pragma once

#include "CarosellDelegate.h"

#include <QList>
#include <QPointF>
#include <QStringList>
#include <QWidget>

class CarosellCell;

// The drive-model carousel: three cards side by side, the middle one larger and outlined.
// A click on a side card or rotate() turns it one step. The cards are made once and moved,
// so a resize or redraw keeps them and the model in the middle.
class CarosellView : public QWidget,
                     public CarosellDelegate {
    Q_OBJECT
public:
    explicit CarosellView(QWidget* parent = nullptr);

    static constexpr int kRotationMs = 700;
    // How long a turn takes; tests shorten it. Takes effect from the next turn.
    void setRotationDuration(int ms) { rotationMs_ = ms; }
    int rotationDuration() const { return rotationMs_; }

    QPointF leftCenter;
    QPointF rightCenter;
    QPointF frontCenter;
    QList<CarosellCell*> existViews; // left, middle, right
    QStringList deviceName;          // the models, in carousel order
    int deviceIndex = 1;             // the model in the middle card
    bool isAnimating = false;        // clicks and rotations are dropped meanwhile

    // The model shown in the middle.
    QString currentDeviceName() const { return deviceName.value(deviceIndex); }

    // CarosellDelegate
    void cellClicked(CarosellCell* cell) override;
    // One step: true brings the right card to the middle, false the left one.
    void rotate(bool toRight);

Q_SIGNALS:
    void rotationFinished();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void computeCenters();
    QRect frontSlot() const;
    QRect sideSlot(const QPointF& center) const;
    void layoutCards();
    void outline(CarosellCell* cell, bool on);

    bool layoutPending_ = false;
    int rotationMs_ = kRotationMs;
};
