#pragma once

#include <QColor>
#include <QPushButton>

// The small filled grey button under the task editor's boxes; a blue outline under the mouse.
class AddTaskSmallBoxButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor)
    Q_PROPERTY(QColor borderColor READ borderColor)
public:
    explicit AddTaskSmallBoxButton(const QString& text = QString(), QWidget* parent = nullptr);

    QColor backgroundColor() const { return faceColor(); }
    // Invalid while there is no outline.
    QColor borderColor() const { return border_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    static QColor faceColor() { return QColor(142, 142, 147); }
    void applyLook(const QColor& border);

    QColor border_;
};
