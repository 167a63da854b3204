#pragma once

#include <QColor>
#include <QPushButton>

// A tab of the main window: dark left-aligned title on a grey face, lighter under the
// mouse, white while it is the current page. A disabled tab greys its title and ignores the
// mouse, except the current one, which keeps its look so the page shown is still marked.
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
    QColor titleColor() const { return title_; }

    static QColor normalColor() { return QColor(205, 205, 209); }
    static QColor hoverColor() { return QColor(230, 230, 235); }
    static QColor selectedColor() { return QColor(255, 255, 255); }
    static QColor textColor() { return QColor(26, 26, 26); }
    static QColor disabledTextColor() { return QColor(142, 142, 147); }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    QColor background_;
    QColor title_;
    bool hovered_ = false;
};
