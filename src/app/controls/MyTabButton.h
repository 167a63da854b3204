#pragma once

#include <QColor>
#include <QPushButton>

// A tab of the main window: dark left-aligned title on a grey face, lighter under the
// mouse, white while it is the current page.
class MyTabButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(bool isSelected READ selected WRITE setSelected)
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
public:
    explicit MyTabButton(const QString& text = QString(), QWidget* parent = nullptr);

    bool isSelected = false;
    bool selected() const { return isSelected; }
    // The page host's highlighting: white and selected, or the normal face.
    void setSelected(bool selected);

    QColor backgroundColor() const { return background_; }
    void setBackgroundColor(const QColor& colour);

    static QColor normalColor() { return QColor(205, 205, 209); }
    static QColor hoverColor() { return QColor(230, 230, 235); }
    static QColor selectedColor() { return QColor(255, 255, 255); }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QColor background_;
};
