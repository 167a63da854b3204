#pragma once

#include <QWidget>

// The container of one One-Touch Backup row: its cell fills it.
class OtbTableRowView : public QWidget {
public:
    explicit OtbTableRowView(QWidget* parent = nullptr)
        : QWidget(parent)
    {
    }
};
