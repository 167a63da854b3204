#pragma once

#include <QWidget>

// The grey frame around one Backup page row; a selected row looks like any other.
class BackupTableRowView : public QWidget {
    Q_OBJECT
public:
    explicit BackupTableRowView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
