#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

// A picture resource drawn as large as the view allows with its aspect ratio kept, centred;
// empty for an unknown name. Pictures of one size laid over each other line up.
class OtbImageView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString imageName READ imageName WRITE setImageName)
public:
    explicit OtbImageView(QWidget* parent = nullptr);

    QString imageName() const { return name_; }
    void setImageName(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    QPixmap cache_; // the picture at the last drawn size
};
