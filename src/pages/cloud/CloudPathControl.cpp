#include "CloudPathControl.h"

#include "ControlStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

CloudPathControl::CloudPathControl(QWidget* parent)
    : QWidget(parent)
    , layout_(new QHBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(2);
    layout_->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(26);
}

void CloudPathControl::setPathItems(const QList<CloudPathItem>& items)
{
    items_ = items;
    rebuild();
}

QToolButton* CloudPathControl::buttonAt(int index) const
{
    return index >= 0 && index < buttons_.size() ? buttons_[index] : nullptr;
}

void CloudPathControl::rebuild()
{
    qDeleteAll(buttons_);
    qDeleteAll(separators_);
    buttons_.clear();
    separators_.clear();
    const QString style = QStringLiteral("QToolButton { border: none; background: transparent; color: %1; %2 }"
                                         "QToolButton:hover { color: %3; }")
                              .arg(ControlStyle::css(ControlStyle::darkText()), ControlStyle::cssFont(13),
                                   ControlStyle::css(ControlStyle::accentBlue()));
    for (int i = 0; i < items_.size(); ++i) {
        if (i > 0) {
            auto* arrow = new QLabel(QStringLiteral("›"), this);
            arrow->setStyleSheet(QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::greyText()), ControlStyle::cssFont(15)));
            layout_->insertWidget(layout_->count() - 1, arrow);
            separators_.append(arrow);
        }
        auto* button = new QToolButton(this);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIcon(QIcon(items_[i].image()));
        button->setIconSize(QSize(16, 16));
        button->setText(items_[i].title);
        button->setToolTip(items_[i].title);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(style);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, i] { Q_EMIT itemClicked(i); });
        layout_->insertWidget(layout_->count() - 1, button);
        buttons_.append(button);
    }
    fitToWidth();
}

void CloudPathControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitToWidth();
}

void CloudPathControl::fitToWidth()
{
    // Deepest first: the folder on screen and its nearest parents matter most.
    int room = width();
    for (int i = int(buttons_.size()) - 1; i >= 0; --i) {
        const int need = buttons_[i]->sizeHint().width() + (i > 0 ? separators_[i - 1]->sizeHint().width() + 4 : 0);
        const bool fits = need <= room || i == buttons_.size() - 1;
        buttons_[i]->setVisible(fits);
        if (i > 0)
            separators_[i - 1]->setVisible(fits);
        room = fits ? room - need : -1;
    }
}
