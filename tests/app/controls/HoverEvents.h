#pragma once

#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>

// The pointer comes to rest over the widget without moving (a window above it closed).
inline void sendEnterUnmoved(QWidget* w)
{
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(w, &enter);
}

// Mouse entry and exit as the window system delivers them when the pointer moves in and out.
inline void sendEnter(QWidget* w)
{
    sendEnterUnmoved(w);
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), QPointF(3, 3), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

inline void sendLeave(QWidget* w)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w, &leave);
}
