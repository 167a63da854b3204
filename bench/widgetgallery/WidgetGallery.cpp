// Shows the message window (plain, and with second button and checkbox), the progress window
// and a strip of every control in its normal and hover look. With --png DIR it writes one PNG
// per panel instead of staying on screen.
#include "AddTaskBoxButton.h"
#include "AddTaskSmallBoxButton.h"
#include "BoxPathTableCell.h"
#include "ElidedLabel.h"
#include "ImageTextHyperLink.h"
#include "MyTabButton.h"
#include "ProgressView.h"
#include "circleButton.h"
#include "customizeButton.h"
#include "messageView.h"
#include "myDateBtn.h"
#include "myMoreInfoBtn.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTimer>

namespace {
void hover(QWidget* w)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(w, &enter);
}

messageView* makeMessage(bool full)
{
    auto* view = new messageView;
    view->titleString = full ? QStringLiteral("Information") : QStringLiteral("Error");
    view->imagePath = full ? QStringLiteral("ic_log_success") : QStringLiteral("ic_log_fail");
    view->statusString = full ? QStringLiteral("Encryption completed successfully.")
                              : QStringLiteral("The destination drive does not have enough free space for this backup.");
    view->showSecondBtn = full;
    view->showSuppressionCheckBox = full;
    view->suppressionLabelText = QStringLiteral("Delete source file(s).");
    view->suppressionKey = QStringLiteral("SecuriryDeleteSource");
    return view;
}

ProgressView* makeProgress()
{
    auto* view = new ProgressView;
    view->titleString = QStringLiteral("Backup");
    view->imagePath = QStringLiteral("ic_log_backup");
    view->statusString = QStringLiteral("Backup Processing...");
    view->updateProgress(62.5f);
    return view;
}

QWidget* controlsStrip(bool hovered)
{
    auto* strip = new QWidget;
    strip->setAutoFillBackground(true);
    QPalette pal = strip->palette();
    pal.setColor(QPalette::Window, QColor(249, 249, 254));
    strip->setPalette(pal);
    auto* grid = new QGridLayout(strip);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(12);
    QList<QWidget*> all;

    auto* tab = new MyTabButton(QStringLiteral("BACKUP"));
    tab->setFixedWidth(140);
    auto* selectedTab = new MyTabButton(QStringLiteral("RESTORE"));
    selectedTab->setFixedWidth(140);
    selectedTab->setSelected(true);
    auto* action = new customizeButton(QStringLiteral("Backup"));
    auto* loading = new customizeButton(QStringLiteral("Backup"));
    loading->setLoading(true);
    auto* more = new myMoreInfoBtn(QStringLiteral("More Info"));
    auto* moreOpen = new myMoreInfoBtn(QStringLiteral("More Info"));
    moreOpen->btnClicked = true;
    moreOpen->showNormalLook();
    auto* day = new myDateBtn(QStringLiteral("12"));
    auto* chosenDay = new myDateBtn(QStringLiteral("13"));
    chosenDay->toggleClickFlag();
    grid->addWidget(tab, 0, 0);
    grid->addWidget(selectedTab, 0, 1);
    grid->addWidget(action, 0, 2);
    grid->addWidget(loading, 0, 3);
    grid->addWidget(more, 0, 4);
    grid->addWidget(moreOpen, 0, 5);
    grid->addWidget(day, 0, 6);
    grid->addWidget(chosenDay, 0, 7);
    all << tab << selectedTab << action << more << moreOpen << day;

    int col = 0;
    for (const char* id : { "add", "delete", "modify", "backup", "back", "document", "eject" }) {
        auto* c = new circleButton(QString::fromLatin1(id));
        grid->addWidget(c, 1, col++);
        all << c;
    }
    auto* disabledAdd = new circleButton(QStringLiteral("add"));
    disabledAdd->setEnable(false);
    grid->addWidget(disabledAdd, 1, col++);

    auto* source = new AddTaskBoxButton(QStringLiteral("Source"));
    auto* dest = new AddTaskBoxButton(QStringLiteral("Destination"));
    auto* small = new AddTaskSmallBoxButton(QStringLiteral("Add File"));
    auto* link = new ImageTextHyperLink;
    link->setLabelText(QStringLiteral("/media/user/MORVANTEK/Zorvi/My documents backup task with a very long name/and/a/deep/path"));
    auto* cell = new BoxPathTableCell;
    cell->boxCellLabel->setText(QStringLiteral("/home/user/Documents/Projects/2026/Quarterly reports and spreadsheets"));
    cell->setFixedWidth(300);
    grid->addWidget(source, 2, 0, 1, 3);
    grid->addWidget(dest, 2, 3, 1, 3);
    auto* col2 = new QVBoxLayout;
    col2->addWidget(small);
    col2->addWidget(link);
    col2->addWidget(cell);
    col2->addStretch();
    grid->addLayout(col2, 2, 6, 1, 4);
    all << source << dest << small << link;

    if (hovered) {
        strip->show(); // hover looks apply to shown widgets like the real ones
        for (QWidget* w : all)
            hover(w);
    }
    return strip;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Morvantek"));
    QApplication::setApplicationName(QStringLiteral("ZorviGallery"));

    const int pngIndex = QCoreApplication::arguments().indexOf(QStringLiteral("--png"));
    if (pngIndex > 0 && pngIndex + 1 < argc) {
        const QDir out(QCoreApplication::arguments().at(pngIndex + 1));
        QDir().mkpath(out.path());
        struct Panel { const char* name; QWidget* widget; };
        const Panel panels[] = {
            { "message-plain", makeMessage(false) },
            { "message-full", makeMessage(true) },
            { "progress", makeProgress() },
            { "controls-normal", controlsStrip(false) },
            { "controls-hover", controlsStrip(true) },
        };
        for (const Panel& p : panels) {
            p.widget->show();
            QCoreApplication::processEvents();
            p.widget->grab().save(out.filePath(QString::fromLatin1(p.name) + QStringLiteral(".png")));
            p.widget->hide();
        }
        return 0;
    }

    // On screen: the controls top left, the three windows as real top-level windows below.
    auto* canvas = new QWidget;
    canvas->setWindowTitle(QStringLiteral("Zorvi controls"));
    auto* layout = new QVBoxLayout(canvas);
    layout->addWidget(new QLabel(QStringLiteral("Normal")));
    layout->addWidget(controlsStrip(false));
    layout->addWidget(new QLabel(QStringLiteral("Hover")));
    QWidget* hoverStrip = controlsStrip(false);
    layout->addWidget(hoverStrip);
    canvas->move(0, 0);
    canvas->show();
    QTimer::singleShot(300, [hoverStrip] {
        for (QWidget* w : hoverStrip->findChildren<QPushButton*>())
            hover(w);
    });

    messageView* plain = makeMessage(false);
    plain->move(10, 760);
    plain->show();
    messageView* full = makeMessage(true);
    full->move(500, 760);
    full->show();
    ProgressView* progress = makeProgress();
    progress->move(990, 760);
    progress->show();
    return app.exec();
}
