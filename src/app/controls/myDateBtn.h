#pragma once

#include <QColor>
#include <QPushButton>

// One day of the month in the schedule editor; a press toggles whether the day is chosen
// (dark red bold title) and does nothing else.
class myDateBtn : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(bool clickFlag READ isChosen)
    Q_PROPERTY(QColor titleColor READ titleColor)
    Q_PROPERTY(bool titleBold READ titleBold)
public:
    explicit myDateBtn(const QString& text = QString(), QWidget* parent = nullptr);

    bool clickFlag = false;
    bool isChosen() const { return clickFlag; }
    void toggleClickFlag();

    QColor titleColor() const { return title_; }
    bool titleBold() const { return bold_; }

    static QColor chosenColor() { return QColor(150, 0, 20); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void applyLook(const QColor& title, bool bold);

    QColor title_;
    bool bold_ = false;
};
