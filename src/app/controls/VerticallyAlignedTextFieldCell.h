#pragma once

#include <QLabel>

// A wrapping text label whose text is drawn in an 88-pixel band centred vertically.
class VerticallyAlignedTextFieldCell : public QLabel {
    Q_OBJECT
public:
    static constexpr int bandHeight = 88;

    explicit VerticallyAlignedTextFieldCell(const QString& text = QString(), QWidget* parent = nullptr);

    // The band for bounds of width W and height H: x 0, y (H - 88) / 2, W by 88.
    static QRect drawingRectForBounds(const QRect& bounds);

protected:
    void paintEvent(QPaintEvent* event) override;
};
