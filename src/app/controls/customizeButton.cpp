#include "customizeButton.h"

#include "ControlStyle.h"
#include "ProgressRing.h"

customizeButton::customizeButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAutoDefault(false);
    setMouseTracking(true);
    setMinimumSize(80, 30);
    progressRing = new ProgressRing(this);
    progressRing->resize(ringWidth, ringHeight);
    progressRing->hide();
    placeRing();
    applyNormalLook();
}

void customizeButton::setFontSize(int size)
{
    fontSize = size;
    applyLook(title_, background_, border_);
}

void customizeButton::applyLook(const QColor& title, const QColor& background, const QColor& border)
{
    title_ = title;
    background_ = background;
    border_ = border;
    setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3;"
                                 " border-radius: 3px; padding: 4px 14px; %4 }")
                      .arg(ControlStyle::css(title), ControlStyle::css(background), ControlStyle::css(border),
                           ControlStyle::cssFont(fontSize)));
}

void customizeButton::applyNormalLook()
{
    applyLook(ControlStyle::darkText(), ControlStyle::lightFace(), ControlStyle::darkText());
}

void customizeButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    pointerMovedIn_ = false;
}

void customizeButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!pointerMovedIn_) {
        pointerMovedIn_ = true;
        mouseEntered();
    }
    QPushButton::mouseMoveEvent(event);
}

void customizeButton::mouseEntered()
{
    if (startLoading) {
        startLoading = false;
        return;
    }
    if (isEnabled())
        applyLook(Qt::white, ControlStyle::accentBlue(), ControlStyle::accentBlue());
}

void customizeButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    pointerMovedIn_ = false;
    applyNormalLook();
}

void customizeButton::setLoading(bool loading)
{
    if (loading) {
        startLoading = true;
        setEnabled(false);
        // A second call while loading must not replace the saved title with "".
        if (!loading_)
            tempTitle = text();
        setText(QString());
        progressRing->show();
        progressRing->raise();
    } else {
        setEnabled(true);
        setText(tempTitle);
        progressRing->hide();
    }
    loading_ = loading;
    applyNormalLook();
}

void customizeButton::resizeEvent(QResizeEvent* event)
{
    QPushButton::resizeEvent(event);
    placeRing();
}

void customizeButton::placeRing()
{
    progressRing->move(width() / 2 - ringWidth / 2, height() / 2 - ringHeight / 2);
}
