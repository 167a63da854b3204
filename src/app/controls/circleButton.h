#pragma once

#include <QColor>
#include <QPushButton>

// A round icon button whose identifier ("add", "delete", "modify", "backup", "back",
// "document", "eject") picks its pictures; it has an enabled look of its own (isEnable).
class circleButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString imageName READ imageName)
    Q_PROPERTY(QColor tintColor READ tintColor)
    Q_PROPERTY(QString identifier READ identifier WRITE setIdentifier)
public:
    explicit circleButton(const QString& identifier = QString(), QWidget* parent = nullptr);

    bool isEnable = false;
    void setEnable(bool enable);

    QString identifier() const { return identifier_; }
    // Re-applies the enabled look for the new identifier.
    void setIdentifier(const QString& identifier);

    QString imageName() const { return imageName_; }
    QColor tintColor() const { return tint_; }

    static QColor systemGrey() { return QColor(142, 142, 147); }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setImage(const QString& name);
    void setTint(const QColor& colour);

    QString identifier_;
    QString imageName_;
    QColor tint_;
};
