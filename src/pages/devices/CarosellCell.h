#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class CarosellDelegate;
class OtbImageView;
class QLabel;

// One card of the drive-model carousel: the model's picture over its name on a white,
// shadowed card; the middle card carries a blue outline.
class CarosellCell : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int borderWidth READ borderWidth WRITE setBorderWidth)
public:
    // A null name shows "DeviceView" and no picture.
    CarosellCell(const QString& deviceName, const QRect& frame, QWidget* parent = nullptr);
    explicit CarosellCell(QWidget* parent = nullptr);

    static QColor highlightColor() { return QColor(0, 128, 255, 204); }

    QString deviceName;
    QString imageName; // the picture resource of deviceName
    OtbImageView* imageLayer = nullptr;
    QLabel* title = nullptr;
    CarosellDelegate* delegate = nullptr; // the carousel

    int borderWidth() const { return borderWidth_; }
    void setBorderWidth(int width);

    void layoutCell();
    void doClickView();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void placeChildren();

    int borderWidth_ = 0;
};
