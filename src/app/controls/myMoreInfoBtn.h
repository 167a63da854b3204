#pragma once

#include <QColor>
#include <QPushButton>

// The "more details" link of a task row: grey title with an arrow to its right that points
// down while the row's details are open; blue under the mouse.
class myMoreInfoBtn : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString imageName READ imageName)
    Q_PROPERTY(QColor titleColor READ titleColor)
public:
    explicit myMoreInfoBtn(const QString& text = QString(), QWidget* parent = nullptr);

    bool myEnable = true;    // hover restyling allowed
    bool btnClicked = false; // details open: the arrow points down

    QString imageName() const { return imageName_; }
    QColor titleColor() const { return title_; }
    // The resting look for the current btnClicked (owners call it after changing the field).
    void showNormalLook();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void applyLook(const QColor& title, const QString& image);

    QString imageName_;
    QColor title_;
};
