#include "eulaView.h"

#include "AboutView.h"
#include "ControlStyle.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHideEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QVBoxLayout>

eulaView::eulaView(QWidget* parent)
    : QDialog(parent)
    , ownDefaults_(std::make_unique<QSettings>())
{
    defaults = ownDefaults_.get();
    quitProgram = [] { QCoreApplication::exit(0); };

    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    // No close button and no resizing: the buttons are the way out.
    setWindowFlags(ControlStyle::dialogFlags());
    setWindowTitle(tr("Zorvi License Agreement"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ControlStyle::dialogBackground());
    setPalette(pal);

    auto* heading = new QLabel(tr("End-User License Agreement"), this);
    heading->setFont(ControlStyle::font(16, true));

    eulaTextView = new QPlainTextEdit(this);
    eulaTextView->setReadOnly(true);
    eulaTextView->setFont(ControlStyle::font(12));
    eulaTextView->setPlainText(AboutView::statementText());

    rejectBtn = new QPushButton(tr("Decline"), this);
    rejectBtn->setObjectName(QStringLiteral("rejectBtn"));
    rejectBtn->setAutoDefault(false);
    acceptBtn = new QPushButton(tr("Accept"), this);
    acceptBtn->setObjectName(QStringLiteral("acceptBtn"));
    acceptBtn->setAutoDefault(false);
    connect(acceptBtn, &QPushButton::clicked, this, &eulaView::acceptClick);
    connect(rejectBtn, &QPushButton::clicked, this, &eulaView::rejectClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(rejectBtn);
    buttons->addWidget(acceptBtn);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->addWidget(heading);
    layout->addWidget(eulaTextView, 1);
    layout->addLayout(buttons);
    setFixedSize(600, 420);

    eulaTextView->setObjectName(QStringLiteral("eulaTextView"));
}

eulaView::~eulaView() = default;

bool eulaView::isAccepted(QSettings& settings)
{
    return settings.value(QString::fromLatin1(AcceptedKey), false).toBool();
}

void eulaView::present()
{
    // Placed before showing: the main window may be too new for the window system to have
    // told Qt where it is, which would put the agreement in a corner.
    QRect area;
    if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr; owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
    open();
}

void eulaView::acceptClick()
{
    isAccept = true;
    defaults->setValue(QString::fromLatin1(AcceptedKey), true);
    defaults->sync();
    accept();
}

void eulaView::rejectClick()
{
    QDialog::reject();
}

void eulaView::reject()
{
    rejectClick();
}

void eulaView::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    // Spontaneous hides come from the window system (minimizing), not from leaving the dialog.
    if (!event->spontaneous())
        viewDidDisappear();
}

void eulaView::viewDidDisappear()
{
    if (isAccept || quitting_)
        return;
    quitting_ = true;
    if (quitProgram)
        quitProgram();
}
