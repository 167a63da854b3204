#include "messageView.h"

#include "ControlNames.h"
#include "ControlStyle.h"
#include "ZorviImages.h"
#include "customizeButton.h"
#include "messageViewDelegate.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QVBoxLayout>

messageView::messageView(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , ownDefaults_(std::make_unique<QSettings>(QStringLiteral("Morvantek"), QStringLiteral("Zorvi")))
{
    defaults = ownDefaults_.get();
    setObjectName(QStringLiteral("MessageView"));
    setSizeGripEnabled(false);

    statusImg = new QLabel(this);
    statusImg->setFixedSize(64, 64);
    statusImg->setAlignment(Qt::AlignCenter);

    titleLabel = new QLabel(this);
    titleLabel->setFont(ControlStyle::font(18, true));
    titleLabel->setStyleSheet(QStringLiteral("color: %1;").arg(ControlStyle::css(ControlStyle::darkText())));

    messageLabel = new QLabel(this);
    messageLabel->setFont(ControlStyle::font(14));
    messageLabel->setStyleSheet(QStringLiteral("color: %1;").arg(ControlStyle::css(ControlStyle::darkText())));
    messageLabel->setWordWrap(true);
    messageLabel->setFixedWidth(340);
    messageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    messageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    suppressionCheckbox = new QCheckBox(this);
    suppressionCheckbox->setFocusPolicy(Qt::NoFocus);
    suppressionLabel = new QLabel(this);
    suppressionLabel->setFont(ControlStyle::font(13));
    suppressionLabel->setStyleSheet(QStringLiteral("color: %1;").arg(ControlStyle::css(ControlStyle::darkText())));
    suppressionLabel->setBuddy(suppressionCheckbox);

    secondBtn = new customizeButton(tr("Cancel"), this);
    closeBtn = new customizeButton(tr("OK"), this);
    for (customizeButton* button : { secondBtn, closeBtn }) {
        button->setMinimumSize(96, 30);
        button->setMaximumHeight(30);
    }
    connect(secondBtn, &QPushButton::clicked, this, &messageView::cancelClicked);
    connect(closeBtn, &QPushButton::clicked, this, &messageView::closeClicked);

    auto* text = new QVBoxLayout;
    text->setSpacing(8);
    text->addWidget(titleLabel);
    text->addWidget(messageLabel);
    text->addStretch();

    auto* top = new QHBoxLayout;
    top->setSpacing(20);
    top->addWidget(statusImg, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(suppressionCheckbox);
    buttons->addWidget(suppressionLabel);
    buttons->addStretch();
    buttons->addWidget(secondBtn);
    buttons->addWidget(closeBtn);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(24, 24, 24, 20);
    root->setSpacing(20);
    root->addLayout(top);
    root->addLayout(buttons);
    // Fixed size, computed from the content once it is filled.
    root->setSizeConstraint(QLayout::SetFixedSize);

    ControlNames::apply({
        { statusImg, "statusImg" },
        { messageLabel, "messageLabel" },
        { titleLabel, "titleLabel" },
        { suppressionCheckbox, "suppressionCheckbox" },
        { secondBtn, "secondBtn" },
        { suppressionLabel, "suppressionLabel" },
        { closeBtn, "closeBtn" }
    });
}

messageView::~messageView() = default;

void messageView::present()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

void messageView::showEvent(QShowEvent* event)
{
    if (!loaded_) {
        loaded_ = true;
        viewDidLoad();
    }
    viewWillAppear();
    QDialog::showEvent(event);
}

void messageView::viewDidLoad()
{
    secondBtn->setVisible(showSecondBtn);
    if (!mainBtnTitle.isEmpty())
        closeBtn->setText(mainBtnTitle);
    if (!secondBtnTitle.isEmpty())
        secondBtn->setText(secondBtnTitle);
    titleLabel->setText(titleString);
    setWindowTitle(titleString);
    messageLabel->setText(statusString);
    const QPixmap image = ZorviImages::pixmap(imagePath, QSize(64, 64));
    statusImg->setPixmap(image);
    statusImg->setProperty("imageName", image.isNull() ? QString() : imagePath);
    suppressionLabel->setText(suppressionLabelText);
}

void messageView::viewWillAppear()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ControlStyle::dialogBackground());
    setPalette(pal);
    setAutoFillBackground(true);
    suppressionCheckbox->setVisible(showSuppressionCheckBox);
    suppressionLabel->setVisible(showSuppressionCheckBox);
}

void messageView::cancelClicked()
{
    QPointer<messageView> self(this);
    if (btnClickedDelegate)
        btnClickedDelegate->btnClicked(1);
    if (self)
        done(QDialog::Rejected);
}

void messageView::closeClicked()
{
    QPointer<messageView> self(this);
    if (btnClickedDelegate)
        btnClickedDelegate->btnClicked(0);
    if (!self)
        return;
    if (suppressionCheckbox->isChecked()) {
        if (suppressionKey == QLatin1String("OtbAlertShowedtest2")) {
            defaults->setValue(QStringLiteral("OtbAlertShowedtest2"), true);
            defaults->sync();
        } else if (suppressionKey == QLatin1String("SecuriryDeleteSource")) {
            if (btnClickedDelegate)
                btnClickedDelegate->deleteSourceFiles();
        }
    }
    if (!self)
        return;
    if (isCloseProgram) {
        quitProgram();
        return;
    }
    done(QDialog::Accepted);
}

void messageView::reject()
{
    if (!closingCancels)
        return;
    QPointer<messageView> self(this);
    if (btnClickedDelegate)
        btnClickedDelegate->messageDismissed();
    if (self)
        done(QDialog::Rejected);
}

void messageView::quitProgram()
{
    hide();
    QCoreApplication::exit(0);
}
