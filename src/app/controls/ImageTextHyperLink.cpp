#include "ImageTextHyperLink.h"

#include "ControlStyle.h"
#include "ElidedLabel.h"
#include "ZorviImages.h"

#include <QLabel>

namespace {
const QString kGrey = QStringLiteral("ic_sync_folderpath_enable_grey");
const QString kBlue = QStringLiteral("ic_sync_folderpath_enable_blue");
}

ImageTextHyperLink::ImageTextHyperLink(QWidget* parent)
    : QPushButton(parent)
{
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(585, 33);
    drawContent(kGrey, ControlStyle::darkText());
}

void ImageTextHyperLink::setLabelText(const QString& text)
{
    labelText_ = text;
    drawContent(kGrey, ControlStyle::darkText());
}

void ImageTextHyperLink::drawContent(const QString& imageName, const QColor& textColor)
{
    for (QObject* child : children()) {
        const int tag = child->property("tag").toInt();
        if (tag == pictureTag || tag == textTag)
            delete child;
    }
    imageName_ = imageName;
    textColor_ = textColor;

    auto* picture = new QLabel(this);
    picture->setProperty("tag", pictureTag);
    picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    picture->setPixmap(ZorviImages::pixmap(imageName, QSize(24, 24)));
    picture->setGeometry(0, 0, 24, 24);
    picture->show();

    auto* text = new ElidedLabel(labelText_, this);
    text->setProperty("tag", textTag);
    text->setAttribute(Qt::WA_TransparentForMouseEvents);
    text->setFont(ControlStyle::font(16));
    text->setTextColor(textColor);
    text->setGeometry(35, 3, 550, 30);
    text->show();

    setToolTip(labelText_);
}

QString ImageTextHyperLink::displayedText() const
{
    ElidedLabel* field = textField();
    return field ? field->displayedText() : QString();
}

ElidedLabel* ImageTextHyperLink::textField() const
{
    for (ElidedLabel* label : findChildren<ElidedLabel*>(Qt::FindDirectChildrenOnly)) {
        if (label->property("tag").toInt() == textTag)
            return label;
    }
    return nullptr;
}

void ImageTextHyperLink::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    drawContent(kBlue, ControlStyle::accentBlue());
}

void ImageTextHyperLink::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    drawContent(kGrey, ControlStyle::darkText());
}

void ImageTextHyperLink::paintEvent(QPaintEvent*)
{
    // Content is all subviews: no bevel and no pressed look.
}
