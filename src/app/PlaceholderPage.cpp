#include "PlaceholderPage.h"

#include "ControlStyle.h"

#include <QLabel>
#include <QVBoxLayout>

PlaceholderPage::PlaceholderPage(const QString& title, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PlaceholderPage"));
    auto* label = new QLabel(title, this);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(ControlStyle::font(18));
    label->setStyleSheet(QStringLiteral("color: %1;").arg(ControlStyle::css(ControlStyle::greyText())));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
}
