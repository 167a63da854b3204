#pragma once

#include <QPushButton>

class QLabel;

// One of the Security page's two large choice boxes. Its role comes from its object name,
// "encryptBtn" or "decryptBtn"; the pointer inside the box (15 px in from its edge) turns
// face, icon and title blue.
class SecurityBoxButton : public QPushButton {
    Q_OBJECT
public:
    explicit SecurityBoxButton(const QString& identifier, QWidget* parent = nullptr);

    QLabel* iconView() const { return icon_; }   // tag 100
    QLabel* titleView() const { return title_; } // tag 101
    bool isHovered() const { return hovered_; }
    QString faceImage() const { return hovered_ ? QStringLiteral("img_security_select") : QStringLiteral("img_security_normal"); }
    QString iconImage() const;

    void mouseEntered();
    void mouseExited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyLook();

    QLabel* icon_ = nullptr;
    QLabel* title_ = nullptr;
    bool hovered_ = false;
};
