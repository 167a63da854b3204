#pragma once

#include <QMenu>

class QAction;

// The application's menu: shown by the tray icon and usable in a menu bar. The actions only
// signal; the application delegate does the work.
class ApplicationMenu : public QMenu {
    Q_OBJECT
public:
    explicit ApplicationMenu(QWidget* parent = nullptr);

    QAction* showAction = nullptr;
    QAction* autoStartMenuItem = nullptr; // checkable; mirrors the login item
    QAction* helpAction = nullptr;
    QAction* checkUpdatesAction = nullptr;
    QAction* aboutAction = nullptr;
    QAction* quitAction = nullptr;
};
