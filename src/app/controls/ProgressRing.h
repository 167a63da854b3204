#pragma once

#include <QTimer>
#include <QWidget>

// A small spinning ring; turns only while visible.
class ProgressRing : public QWidget {
    Q_OBJECT
public:
    explicit ProgressRing(QWidget* parent = nullptr);
    bool isSpinning() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer timer_;
    int angle_ = 0;
};
