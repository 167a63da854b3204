#pragma once

#include <QColor>
#include <QFrame>

// A single-line label that truncates its text at the tail to fit; text() stays the full text.
class ElidedLabel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(QString displayedText READ displayedText)
public:
    explicit ElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    // What fits in the current width.
    QString displayedText() const;
    bool isElided() const { return displayedText() != text_; }

    void setTextColor(const QColor& colour);
    QColor textColor() const { return colour_; }
    void setAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor colour_ { 51, 51, 51 };
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};
