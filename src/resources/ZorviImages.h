#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// The application's images by their design names ("ic_log_info", ...), stored as
// ":/images/<name>.svg". Any call makes sure the resources are registered, which a
// static library cannot do on its own.
class ZorviImages {
public:
    static void ensureLoaded();
    static QString path(const QString& name);       // ":/images/<name>.svg"
    static bool exists(const QString& name);        // false for "" and unknown names
    static QIcon icon(const QString& name);         // null icon when unknown
    // Rendered at size (the image's own size when size is empty); null when unknown.
    static QPixmap pixmap(const QString& name, const QSize& size = QSize());
    // The image's shapes filled with one colour, for tinted glyphs.
    static QPixmap tinted(const QString& name, const QColor& colour, const QSize& size = QSize());
    static QSize defaultSize(const QString& name);
};
