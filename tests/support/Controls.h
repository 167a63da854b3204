#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QWidget>
#include <gtest/gtest.h>

// Windows keep their controls to themselves; a test finds a control as a user does, by its
// name, in that window and not in another window opened over it. A missing control fails the
// test and gives null.
template <class T>
T* control(const QObject* window, const QString& name)
{
    const auto* top = qobject_cast<const QWidget*>(window);
    if (window) {
        for (T* candidate : window->findChildren<T*>(name)) {
            const auto* widget = qobject_cast<const QWidget*>(candidate);
            if (!widget || !top || widget->window() == top->window())
                return candidate;
        }
    }
    ADD_FAILURE() << "no control named " << name.toStdString();
    return nullptr;
}

template <class T>
T* control(const QObject& window, const QString& name)
{
    return control<T>(&window, name);
}

template <class T, class Pointer>
    requires requires(const Pointer& p) { p.get(); }
T* control(const Pointer& window, const QString& name)
{
    return control<T>(window.get(), name);
}

// The controls named `stem` 1 to `count`, in that order.
template <class T, class Window>
QList<T*> numberedControls(const Window& window, const QString& stem, int count)
{
    QList<T*> out;
    for (int i = 1; i <= count; ++i)
        out << control<T>(window, stem + QString::number(i));
    return out;
}
