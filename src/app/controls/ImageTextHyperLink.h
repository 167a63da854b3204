#pragma once

#include <QColor>
#include <QPushButton>

class ElidedLabel;

// A folder picture followed by a path text, truncated at the tail with the full text as
// tool tip; blue under the mouse.
class ImageTextHyperLink : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString imageName READ imageName)
    Q_PROPERTY(QColor textColor READ textColor)
    Q_PROPERTY(QString labelText READ labelText WRITE setLabelText)
public:
    static constexpr int pictureTag = 100;
    static constexpr int textTag = 101;

    explicit ImageTextHyperLink(QWidget* parent = nullptr);

    QString labelText() const { return labelText_; }
    // Redraws the content in the resting look.
    void setLabelText(const QString& text);

    void drawContent(const QString& imageName, const QColor& textColor);

    QString imageName() const { return imageName_; }
    QColor textColor() const { return textColor_; }
    // What the text field shows (truncated when the text is too long).
    QString displayedText() const;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ElidedLabel* textField() const;

    QString labelText_;
    QString imageName_;
    QColor textColor_;
};
