#pragma once

#include <QCoreApplication>
#include <QEnterEvent>
#include <QWidget>

// Mouse entry and exit as the window system delivers them.
inline void sendEnter(QWidget* w)
{
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(w, &enter);
}

inline void sendLeave(QWidget* w)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w, &leave);
}
