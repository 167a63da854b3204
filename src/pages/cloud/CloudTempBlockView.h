#pragma once

#include <QWidget>

// A plain view that swallows mouse clicks: laid over other controls, it keeps them from
// being clicked while it is shown.
class CloudTempBlockView : public QWidget {
    Q_OBJECT
public:
    explicit CloudTempBlockView(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
