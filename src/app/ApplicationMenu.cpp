#include "ApplicationMenu.h"

#include <QAction>

ApplicationMenu::ApplicationMenu(QWidget* parent)
    : QMenu(tr("Zorvi"), parent)
{
    showAction = addAction(tr("Show Zorvi"));
    addSeparator();
    autoStartMenuItem = addAction(tr("Start at Login"));
    autoStartMenuItem->setCheckable(true);
    checkUpdatesAction = addAction(tr("Check for Updates…"));
    helpAction = addAction(tr("Zorvi Help"));
    helpAction->setShortcut(QKeySequence::HelpContents);
    aboutAction = addAction(tr("About Zorvi"));
    addSeparator();
    quitAction = addAction(tr("Quit Zorvi"));
    quitAction->setShortcut(QKeySequence::Quit);
    quitAction->setMenuRole(QAction::QuitRole);
}
