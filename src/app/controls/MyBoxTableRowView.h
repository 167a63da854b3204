#pragma once

#include <QWidget>

// The row container the path lists name for their rows; plain row behaviour.
class MyBoxTableRowView : public QWidget {
    Q_OBJECT
public:
    explicit MyBoxTableRowView(QWidget* parent = nullptr)
        : QWidget(parent)
    {
    }
};
