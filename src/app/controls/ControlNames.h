#pragma once

#include <QObject>

#include <initializer_list>
#include <utility>

// Controls go by their names, so a window can be driven from outside (tests, accessibility)
// without reaching into it.
class ControlNames {
public:
    static void apply(std::initializer_list<std::pair<QObject*, const char*>> named)
    {
        for (const auto& [control, name] : named)
            control->setObjectName(QLatin1String(name));
    }
};
