#pragma once

#include <QColor>
#include <QPushButton>

class QLabel;

// One of the two large boxes of the task editor: "Source" shows "Add Files", any other
// identifier "Destination"; blue icon, text and box face under the mouse. Never shows a
// pressed look.
class AddTaskBoxButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString imageName READ imageName)
    Q_PROPERTY(QString iconName READ iconName)
    Q_PROPERTY(QColor textColor READ textColor)
    Q_PROPERTY(QString identifier READ identifier WRITE setIdentifier)
public:
    static constexpr int pictureTag = 100;
    static constexpr int textTag = 101;

    explicit AddTaskBoxButton(const QString& identifier = QString(), QWidget* parent = nullptr);

    QString identifier() const { return identifier_; }
    void setIdentifier(const QString& identifier);

    // Rebuilds the picture and text subviews for the hover state.
    virtual void drawContent(bool hovered);

    QString imageName() const { return imageName_; }
    QString iconName() const { return iconName_; }
    QColor textColor() const { return textColor_; }
    QString labelText() const { return labelText_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString identifier_;
    QString imageName_;
    QString iconName_;
    QString labelText_;
    QColor textColor_;
};
