#pragma once

#include <QColor>
#include <QPushButton>

// A tab of the My Device page's strip: an outlined box, filled with the accent colour
// while selected.
class MainTagBtn : public QPushButton {
    Q_OBJECT
public:
    explicit MainTagBtn(const QString& title = QString(), QWidget* parent = nullptr);

    static QColor accent() { return QColor(150, 0, 20); }
    static QColor stripBackground() { return QColor(227, 227, 227); }

    double horizontalPadding = 16;
    double verticalPadding = 0;

    void setSelectedLook(bool selected);
    bool hasSelectedLook() const { return selected_; }
    QSize sizeHint() const override;

private:
    bool selected_ = false;
};
