#pragma once

#include <QPixmap>
#include <QString>

// One component of the picker's path bar: a folder's title and its service id. "root" shows
// the home picture, every other title a folder.
class CloudPathItem {
public:
    CloudPathItem(const QString& title, const QString& pathID);

    QString title;
    QString pathID;

    QString imageName() const;
    QPixmap image() const;
};
