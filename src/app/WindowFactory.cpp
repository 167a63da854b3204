#include "WindowFactory.h"

#include "ControlStyle.h"
#include "ProgressView.h"
#include "messageView.h"

#include <QDialog>

QHash<QString, WindowFactory::Creator>& WindowFactory::registry()
{
    static QHash<QString, Creator> creators {
        { QStringLiteral("MessageView"), [](QWidget* parent) -> QWidget* { return new messageView(parent); } },
        { QStringLiteral("BackupProgressView"), [](QWidget* parent) -> QWidget* { return new ProgressView(parent); } },
    };
    return creators;
}

QWidget* WindowFactory::create(const QString& identifier, QWidget* parent)
{
    const auto it = registry().constFind(identifier);
    if (it == registry().constEnd() || !*it)
        return nullptr;
    QWidget* widget = (*it)(parent);
    // Every dialog made here gets the same title-bar buttons; one with a close button keeps it.
    if (auto* dialog = qobject_cast<QDialog*>(widget))
        dialog->setWindowFlags(ControlStyle::dialogFlags(dialog->windowFlags().testFlag(Qt::WindowCloseButtonHint)));
    return widget;
}

void WindowFactory::registerWindow(const QString& identifier, Creator creator)
{
    registry().insert(identifier, std::move(creator));
}

bool WindowFactory::contains(const QString& identifier)
{
    return registry().contains(identifier);
}

QStringList WindowFactory::identifiers()
{
    return registry().keys();
}
