#include "AboutView.h"

#include "ControlStyle.h"

#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

// Outside any namespace, as Q_INIT_RESOURCE requires; the texts live in a static library.
static void initTextResources()
{
    Q_INIT_RESOURCE(texts);
}

AboutView::AboutView(QWidget* parent)
    : QDialog(parent)
    , statementPath_(statementPath())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    // Closing from the title bar is the same as Close.
    setWindowFlags(ControlStyle::dialogFlags(true));
    setWindowTitle(QString());
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ControlStyle::dialogBackground());
    setPalette(pal);

    auto* name = new QLabel(QStringLiteral("Zorvi"), this);
    name->setFont(ControlStyle::font(22, true));
    name->setAlignment(Qt::AlignCenter);

    versionLabel = new QLabel(this);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->setFont(ControlStyle::font(13));
    versionLabel->setAlignment(Qt::AlignCenter);
    versionLabel->setText(tr("Version") + QLatin1Char(' ') + QStringLiteral(ZORVI_VERSION));

    auto* copyright = new QLabel(tr("Copyright © Morvantek. All rights reserved."), this);
    copyright->setFont(ControlStyle::font(12));
    copyright->setAlignment(Qt::AlignCenter);

    licenseBtn = new QPushButton(tr("Licence"), this);
    licenseBtn->setObjectName(QStringLiteral("licenseBtn"));
    licenseBtn->setFlat(true);
    licenseBtn->setCursor(Qt::PointingHandCursor);
    QFont linkFont(QStringLiteral("Arial"));
    linkFont.setPointSize(12);
    licenseBtn->setFont(linkFont);
    licenseBtn->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; background: transparent; }")
                                  .arg(ControlStyle::css(ControlStyle::accentBlue())));
    connect(licenseBtn, &QPushButton::clicked, this, &AboutView::licenseClicked);

    licenseText = new QPlainTextEdit(this);
    licenseText->setReadOnly(true);
    licenseText->setFont(ControlStyle::font(12));
    licenseText->setMinimumSize(480, 220);
    licenseText->hide();

    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &AboutView::closeClicked);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 16);
    layout->setSpacing(8);
    layout->addWidget(name);
    layout->addWidget(versionLabel);
    layout->addWidget(copyright);
    layout->addWidget(licenseBtn, 0, Qt::AlignHCenter);
    layout->addWidget(licenseText, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    licenseText->setObjectName(QStringLiteral("licenseText"));
}

QString AboutView::statementPath()
{
    return QStringLiteral(":/texts/statement.txt");
}

QString AboutView::statementText(const QString& path)
{
    initTextResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void AboutView::present()
{
    open();
}

void AboutView::closeClicked()
{
    close();
}

void AboutView::licenseClicked()
{
    // The statement is a resource of the program, not a file another program could open,
    // so it is shown here.
    const QString text = statementText(statementPath_);
    if (text.isEmpty())
        return;
    licenseText->setPlainText(text);
    const bool wasShown = licenseText->isVisible();
    licenseText->show();
    if (wasShown)
        return;
    // The dialog grows by the text; without moving it would grow from its top-left corner
    // past the main window.
    layout()->activate();
    centreOverOwner();
}

void AboutView::centreOverOwner()
{
    const QRect frame = frameGeometry();
    QRect area;
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    if (!area.isValid())
        area = available;
    if (!area.isValid())
        return;
    QPoint topLeft = area.center() - QPoint(frame.width() / 2, frame.height() / 2);
    if (available.isValid()) {
        topLeft.setX(std::clamp(topLeft.x(), available.left(), std::max(available.left(), available.right() - frame.width() + 1)));
        topLeft.setY(std::clamp(topLeft.y(), available.top(), std::max(available.top(), available.bottom() - frame.height() + 1)));
    }
    move(topLeft);
}
