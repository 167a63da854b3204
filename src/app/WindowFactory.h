#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

// Makes the application's windows by their identifiers ("MessageView", "BackupProgressView",
// ...). The built-in ones are listed in WindowFactory.cpp; others may be added at start-up
// with registerWindow().
class WindowFactory {
public:
    using Creator = std::function<QWidget*(QWidget* parent)>;

    // Null for an unknown identifier.
    static QWidget* create(const QString& identifier, QWidget* parent = nullptr);

    // Null (and nothing left behind) when the identifier is unknown or makes another class.
    template <class T>
    static T* createAs(const QString& identifier, QWidget* parent = nullptr)
    {
        QWidget* widget = create(identifier, parent);
        T* typed = qobject_cast<T*>(widget);
        if (!typed)
            delete widget;
        return typed;
    }

    // Adds or replaces an identifier.
    static void registerWindow(const QString& identifier, Creator creator);
    static bool contains(const QString& identifier);
    static QStringList identifiers();

private:
    static QHash<QString, Creator>& registry();
};
