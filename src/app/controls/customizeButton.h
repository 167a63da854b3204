#pragma once

#include <QColor>
#include <QPushButton>

class ProgressRing;

// The rectangular text action button: light face with a dark outline, blue under the mouse,
// and a loading state that hides the title behind a spinning ring.
//
// The blue face follows the pointer moving onto the button. Qt also reports an entry when a
// window above closes over an unmoved pointer; blue then would look like the window's default
// button, which none of these is (Enter does not press them), so the look waits for a movement.
class customizeButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor)
    Q_PROPERTY(QColor borderColor READ borderColor)
    Q_PROPERTY(QColor titleColor READ titleColor)
    Q_PROPERTY(bool loading READ isLoading)
public:
    enum class customizeBtnMode { none = 0, Delete = 1, modify = 2 };

    explicit customizeButton(const QString& text = QString(), QWidget* parent = nullptr);

    customizeBtnMode mode = customizeBtnMode::none; // no look depends on it
    const int ringWidth = 16;
    const int ringHeight = 16;
    ProgressRing* progressRing = nullptr;
    int fontSize = 14;
    QString tempTitle;         // the title loading restores
    bool startLoading = false; // swallow the next mouse entry

    void setFontSize(int size);
    void setLoading(bool loading);
    bool isLoading() const { return loading_; }

    QColor backgroundColor() const { return background_; }
    QColor borderColor() const { return border_; }
    QColor titleColor() const { return title_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void mouseEntered();
    void applyLook(const QColor& title, const QColor& background, const QColor& border);
    void applyNormalLook();
    void placeRing();

    bool loading_ = false;
    bool pointerMovedIn_ = false; // since the last entry
    QColor background_;
    QColor border_;
    QColor title_;
};
