#include "circleButton.h"

#include "ZorviImages.h"

#include <QHash>

namespace {
struct Pictures {
    QString enabled;
    QString disabled; // empty: unchanged
    QString entered;
    QString exited;
};

const QHash<QString, Pictures>& pictureTable()
{
    static const QHash<QString, Pictures> table {
        { "add", { "ic_page_add_gery", "ic_page_add_lightgery", "ic_page_add_blue", "ic_page_add_gery" } },
        { "delete", { "ic_page_delete_gery", "ic_page_delete_lightgery", "ic_page_delete_blue", "ic_page_delete_gery" } },
        { "modify", { "ic_page_modify_gery", "ic_page_modify_lightgery", "ic_page_modify_blue", "ic_page_modify_gery" } },
        { "backup", { "ic_page_backup_grey", "", "ic_page_backup_blue", "ic_page_backup_grey" } },
        { "back", { "ic_back_grey", "", "ic_back_blue", "ic_back_grey" } },
        { "document", { "ic_sync_folderpath_enable_grey", "ic_sync_folderpath_enable_grey",
                        "ic_sync_folderpath_enable_blue", "ic_sync_folderpath_enable_grey" } },
        { "eject", { "ic_main_eject", "ic_main_eject", "", "" } },
    };
    return table;
}

const QString kEject = QStringLiteral("eject");
} // namespace

circleButton::circleButton(const QString& identifier, QWidget* parent)
    : QPushButton(parent)
    , identifier_(identifier)
{
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(40, 40);
    setIconSize(QSize(40, 40));
    setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
    setEnable(true);
}

void circleButton::setIdentifier(const QString& identifier)
{
    identifier_ = identifier;
    setEnable(isEnable);
}

void circleButton::setImage(const QString& name)
{
    imageName_ = name;
    if (identifier_ == kEject) {
        if (!tint_.isValid())
            tint_ = systemGrey();
        setIcon(QIcon(ZorviImages::tinted(name, tint_, QSize(24, 24))));
        setIconSize(QSize(24, 24));
    } else {
        setIcon(ZorviImages::icon(name));
        const QSize natural = ZorviImages::defaultSize(name);
        setIconSize(natural.isEmpty() ? QSize(40, 40) : natural.boundedTo(QSize(40, 40)));
    }
}

void circleButton::setTint(const QColor& colour)
{
    tint_ = colour;
    setImage(imageName_);
}

void circleButton::setEnable(bool enable)
{
    isEnable = enable;
    if (identifier_.isEmpty())
        return;
    const auto it = pictureTable().constFind(identifier_);
    if (it == pictureTable().constEnd())
        return;
    if (enable) {
        setImage(it->enabled); // never shows a hidden button again
    } else if (identifier_ == QLatin1String("back")) {
        hide();
    } else if (!it->disabled.isEmpty()) {
        setImage(it->disabled);
    }
}

void circleButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    if (!isEnable)
        return;
    const auto it = pictureTable().constFind(identifier_);
    if (it == pictureTable().constEnd())
        return;
    if (identifier_ == kEject)
        setTint(QColor(0, 122, 255));
    else
        setImage(it->entered);
}

void circleButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    if (!isEnable)
        return;
    const auto it = pictureTable().constFind(identifier_);
    if (it == pictureTable().constEnd())
        return;
    if (identifier_ == kEject)
        setTint(systemGrey());
    else
        setImage(it->exited);
}
