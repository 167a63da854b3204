#pragma once

#include "CloudPathItem.h"

#include <QList>
#include <QWidget>

class QHBoxLayout;
class QToolButton;

// The picker's path bar: one clickable button per folder, root first, separated by arrows.
// When the items do not fit, the leading ones are left out and the deepest stay visible.
class CloudPathControl : public QWidget {
    Q_OBJECT
public:
    explicit CloudPathControl(QWidget* parent = nullptr);

    void setPathItems(const QList<CloudPathItem>& items);
    const QList<CloudPathItem>& pathItems() const { return items_; }
    // The button of the item at `index`, for tests and clicks; null when out of range.
    QToolButton* buttonAt(int index) const;

Q_SIGNALS:
    void itemClicked(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    void fitToWidth();

    QList<CloudPathItem> items_;
    QList<QToolButton*> buttons_;
    QList<QWidget*> separators_;
    QHBoxLayout* layout_;
};
