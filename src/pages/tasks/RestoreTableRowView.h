#pragma once

#include <QWidget>

// The grey frame around one Restore page row; a selected row looks like any other.
class RestoreTableRowView : public QWidget {
    Q_OBJECT
public:
    explicit RestoreTableRowView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
