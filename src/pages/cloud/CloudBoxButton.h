#pragma once

#include <QPushButton>
#include <QString>

class QLabel;

// The large tile of the Cloud Backup page: a picture with a title under it on a dashed face,
// blue while the pointer is over it (15 px in from its edge). Owners set boxBtnImageName and
// boxBtnTitle, then send mouseEntered() and mouseExited() so that it rebuilds its content.
class CloudBoxButton : public QPushButton {
    Q_OBJECT
public:
    explicit CloudBoxButton(QWidget* parent = nullptr);

    QString boxBtnImageName = QStringLiteral("ic_cloud_dropbox");
    QString boxBtnTitle = QStringLiteral("Test");

    // Replaces the picture (object name "100") and the title (object name "101").
    void layoutBoxContent(bool hover);
    void mouseEntered();
    void mouseExited();

    bool isHovered() const { return hovered_; }
    QString faceImage() const { return faceImage_; }
    QLabel* pictureView() const;
    QLabel* titleView() const;

    static constexpr int inset = 15;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString faceImage_ = QStringLiteral("img_security_normal");
    bool hovered_ = false;
};
